#include "render/ZCubeTexture.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"

ZCubeTexture::~ZCubeTexture() {
  if (renderToEnvMap != nullptr) renderToEnvMap->Release();
  if (cubeTexture != nullptr) cubeTexture->Release();
}

bool ZCubeTexture::load(const std::string& file) {
  zlog("Loading cube texture: %s\n", file.c_str());
  releaseAndClear(cubeTexture);
  IDirect3DDevice9* device = owner != nullptr ? owner->device : nullptr;
  const std::string path = resolveFileName(file);
  if (FAILED(D3DXCreateCubeTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT, D3DX_FROM_FILE,
                                              0, D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                              D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr,
                                              &cubeTexture))) {
    cubeTexture = nullptr;
    zlog("Error creating texture\n");
    return false;
  }
  return true;
}

bool ZCubeTexture::createRenderTarget(int32_t size) {
  releaseAndClear(renderToEnvMap);
  releaseAndClear(cubeTexture);
  IDirect3DDevice9* device = owner != nullptr ? owner->device : nullptr;
  if (size <= 0 ||
      FAILED(D3DXCreateCubeTexture(device, UINT(size), 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                   D3DPOOL_DEFAULT, &cubeTexture))) {
    cubeTexture = nullptr;
    zlog("Error creating cube texture render target\n");
    return false;
  }
  // With a depth surface of its own: the faces show a whole scene, whose nearer surfaces must
  // hide the farther ones.
  if (FAILED(D3DXCreateRenderToEnvMap(device, UINT(size), 1, D3DFMT_X8R8G8B8, TRUE,
                                      D3DFMT_D24S8, &renderToEnvMap))) {
    renderToEnvMap = nullptr;
    zlog("Error creating renderToEnv\n");
    return false;
  }
  return true;
}

void ZCubeTexture::beginCube() {
  if (renderToEnvMap != nullptr) renderToEnvMap->BeginCube(cubeTexture);
}

void ZCubeTexture::face(int index) {
  if (renderToEnvMap != nullptr && index >= 0 && index <= int(D3DCUBEMAP_FACE_NEGATIVE_Z)) {
    renderToEnvMap->Face(D3DCUBEMAP_FACES(index), 1);
  }
}

void ZCubeTexture::end() {
  if (renderToEnvMap != nullptr) renderToEnvMap->End(1);
}

bool ZCubeTexture::save(const std::string& file) const {
  return cubeTexture != nullptr &&
         SUCCEEDED(D3DXSaveTextureToFileA(file.c_str(), D3DXIFF_DDS, cubeTexture, nullptr));
}
