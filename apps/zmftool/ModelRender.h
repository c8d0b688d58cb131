// A model rendered headless through the engine into a PNG: the camera frames the model from the
// chosen side, the sun casts shadows onto a floor under it, the environment map is loaded from
// the data folder.
#pragma once

#include <string>

struct RenderRequest {
  std::string input;
  std::string output;  // PNG
  int width = 800;
  int height = 600;
  std::string view = "persp";  // persp, left, top or front
  float scale = 1;
  bool mirrorX = false;
  bool hdr = false;  // through the HDR chain, frames drawn until the eye has adapted
};

// True when view names one of the views.
bool isRenderView(const std::string& view);
// Renders; false (reason on stderr) when the data folder, the GL context, the model or the file
// cannot be had.
bool renderModelToPng(const RenderRequest& request);
