// A frame meant to draw terrain as concentric rings around the camera. The editor core holds one
// but never initialises or draws it, so it holds no ring data: a frame with nothing to draw.
#pragma once

#include "scene/ZFrame.h"

class CTerrainFrame : public ZFrame {};
