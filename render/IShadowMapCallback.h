// Called by a host that draws the shadow casters of its scene into a shadow map itself.
#pragma once

class IShadowMapCallback {
 public:
  virtual void onRenderShadowMap() = 0;
  virtual ~IShadowMapCallback() = default;
};
