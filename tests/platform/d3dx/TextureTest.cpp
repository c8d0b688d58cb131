#include "platform/d3dx/D3DXTexture.h"

#include "tests/platform/d3d9/DeviceFixture.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// One DXT1 block: colour 0 red, colour 1 blue; rows 0-1 use colour 0, rows 2-3 colour 1.
D3DXImage dxt1Image() {
  D3DXImage image;
  image.format = D3DFMT_DXT1;
  image.faces.resize(1);
  image.faces[0].push_back({4, 4, {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x55, 0x55}});
  return image;
}

D3DXImage argbImage(UINT width, UINT height, std::initializer_list<uint32_t> texels) {
  D3DXImage image;
  image.format = D3DFMT_A8R8G8B8;
  image.faces.resize(1);
  D3DXImageLevel level{width, height, {}};
  for (uint32_t texel : texels) {
    for (int i = 0; i < 4; ++i) level.bytes.push_back(uint8_t(texel >> (8 * i)));
  }
  image.faces[0].push_back(level);
  return image;
}

class TextureTest : public DeviceTest {
 protected:
  std::string saved(const std::string& name, const D3DXImage& image) {
    const std::string path = (folder.path() / name).string();
    EXPECT_EQ(D3DXSaveImageToDDSFileA(path.c_str(), image), D3D_OK);
    return path;
  }
  void drawTextured(IDirect3DBaseTexture9* texture) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    drawScreenRect(-0.5f, -0.5f, 63.5f, 63.5f, 0.5f, 0xFFFFFFFF);
    device->SetTexture(0, nullptr);
  }
  TempFolder folder;
};

TEST_F(TextureTest, DXT1FileSamplesItsColours) {
  const std::string path = saved("block.dds", dxt1Image());
  IDirect3DTexture9* texture = nullptr;
  D3DXIMAGE_INFO info{};
  // The file's own level count keeps the blocks; a black key matches no texel.
  ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                         D3DX_FROM_FILE, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                         D3DX_DEFAULT, D3DX_DEFAULT, 0xFF000000, &info, nullptr,
                                         &texture),
            D3D_OK);
  EXPECT_EQ(info.Format, D3DFMT_DXT1);
  EXPECT_EQ(info.Width, 4u);
  D3DSURFACE_DESC desc;
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_DXT1);  // uploaded as compressed blocks
  EXPECT_EQ(texture->GetLevelCount(), 1u);
  clear(0xFF000000);
  drawTextured(texture);
  expectColour(pixel(32, 8), {255, 0, 0, 255}, 0, "upper rows");
  expectColour(pixel(32, 56), {0, 0, 255, 255}, 0, "lower rows");

  // Saved back out, the file holds the same blocks.
  const std::string copy = (folder.path() / "copy.dds").string();
  ASSERT_EQ(D3DXSaveTextureToFileA(copy.c_str(), D3DXIFF_DDS, texture, nullptr), D3D_OK);
  D3DXImage reread;
  ASSERT_EQ(D3DXLoadImageFromFileA(copy.c_str(), reread, nullptr), D3D_OK);
  EXPECT_EQ(reread.faces[0][0].bytes, dxt1Image().faces[0][0].bytes);
  texture->Release();
}

TEST_F(TextureTest, AFileInMemoryMakesTheSameTexture) {
  const std::string bytes = readFileText(saved("block.dds", dxt1Image()));
  IDirect3DTexture9* texture = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), UINT(bytes.size()),
                                                D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                D3DX_DEFAULT, 0xFF000000, &info, nullptr,
                                                &texture),
            D3D_OK);
  EXPECT_EQ(info.Format, D3DFMT_DXT1);
  clear(0xFF000000);
  drawTextured(texture);
  expectColour(pixel(32, 8), {255, 0, 0, 255}, 0, "upper rows");
  expectColour(pixel(32, 56), {0, 0, 255, 255}, 0, "lower rows");
  texture->Release();
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), 3, D3DX_DEFAULT,
                                                D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                                                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                nullptr, nullptr, &texture),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
}

// A 24-bit BMP of width x 1 texels given as 0xRRGGBB.
std::string bmp24(std::initializer_list<uint32_t> texels) {
  const uint32_t width = uint32_t(texels.size());
  const uint32_t rowBytes = (width * 3 + 3) & ~3u;
  std::string file = "BM";
  const auto put = [&file](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file += char(value >> (8 * i));
  };
  put(54 + rowBytes, 4), put(0, 4), put(54, 4);
  put(40, 4), put(width, 4), put(1, 4), put(1, 2), put(24, 2), put(0, 4), put(rowBytes, 4);
  put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
  for (uint32_t texel : texels) put(texel, 3);  // stored blue, green, red
  file.append(rowBytes - width * 3, '\0');
  return file;
}

TEST_F(TextureTest, AnRgbFileAskedForInItsOwnFormatLoads) {
  const std::string bytes = bmp24({0xFF0000, 0x0000FF});
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), UINT(bytes.size()), &info), D3D_OK);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), UINT(bytes.size()),
                                                D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, info.Format,
                                                D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                D3DX_FILTER_NONE, 0, nullptr, nullptr, &texture),
            D3D_OK)
      << "format " << info.Format;
  clear(0xFF000000);
  drawTextured(texture);
  expectColour(pixel(8, 32), {255, 0, 0, 255}, 0, "left texel");
  expectColour(pixel(56, 32), {0, 0, 255, 255}, 0, "right texel");
  texture->Release();
}

TEST_F(TextureTest, ColourKeyedMagentaComesOutTransparent) {
  const std::string path = saved("keyed.dds", argbImage(2, 1, {0xFFFF00FF, 0xFFFFFFFF}));
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                         D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                         D3DX_FILTER_NONE, 0xFFFF00FF, nullptr, nullptr, &texture),
            D3D_OK);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  uint32_t texels[2];
  std::memcpy(texels, locked.pBits, sizeof texels);
  texture->UnlockRect(0);
  EXPECT_EQ(texels[0], 0x00000000u);
  EXPECT_EQ(texels[1], 0xFFFFFFFFu);

  clear(0xFF00FF00);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  drawTextured(texture);
  expectColour(pixel(8, 32), {0, 255, 0, 255}, 0, "keyed half shows the background");
  expectColour(pixel(56, 32), {255, 255, 255, 255}, 0, "white half");
  texture->Release();
}

TEST_F(TextureTest, CubeFileFillsEveryFace) {
  D3DXImage cube;
  cube.format = D3DFMT_A8R8G8B8;
  cube.type = D3DRTYPE_CUBETEXTURE;
  for (uint32_t face = 0; face < 6; ++face) {
    const uint32_t colour = 0xFF000000u | (face * 40u);
    cube.faces.push_back({argbImage(2, 2, {colour, colour, colour, colour}).faces[0][0]});
  }
  const std::string path = saved("cube.dds", cube);
  IDirect3DCubeTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateCubeTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT, D3DX_FROM_FILE, 0,
                                             D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                             D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr, &texture),
            D3D_OK);
  for (uint32_t face = 0; face < 6; ++face) {
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(D3DCUBEMAP_FACES(face), 0, &locked, nullptr, D3DLOCK_READONLY),
              D3D_OK);
    uint32_t texel;
    std::memcpy(&texel, locked.pBits, 4);
    texture->UnlockRect(D3DCUBEMAP_FACES(face), 0);
    EXPECT_EQ(texel, 0xFF000000u | (face * 40u)) << "face " << face;
  }
  texture->Release();
}

TEST_F(TextureTest, MissingOrBrokenFilesFail) {
  IDirect3DTexture9* texture = nullptr;
  const std::string missing = (folder.path() / "none.dds").string();
  EXPECT_EQ(D3DXCreateTextureFromFileA(device, missing.c_str(), &texture), D3DERR_NOTFOUND);
  const std::string junk = folder.write("junk.dds", "DDS not really");
  EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(device, junk.c_str(), &texture)));
  EXPECT_EQ(texture, nullptr);
  IDirect3DCubeTexture9* cube = nullptr;
  const std::string flat = saved("flat.dds", dxt1Image());
  EXPECT_TRUE(FAILED(D3DXCreateCubeTextureFromFileExA(device, flat.c_str(), D3DX_DEFAULT,
                                                      D3DX_FROM_FILE, 0, D3DFMT_FROM_FILE,
                                                      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                                      0, nullptr, nullptr, &cube)));
}

TEST_F(TextureTest, RenderToEnvMapFillsFacesAndRestoresTheTarget) {
  IDirect3DCubeTexture9* cube = nullptr;
  ASSERT_EQ(D3DXCreateCubeTexture(device, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                  D3DPOOL_DEFAULT, &cube),
            D3D_OK);
  ID3DXRenderToEnvMap* env = nullptr;
  ASSERT_EQ(D3DXCreateRenderToEnvMap(device, 8, 1, D3DFMT_X8R8G8B8, FALSE, D3DFMT_D24S8, &env),
            D3D_OK);
  IDirect3DSurface9* before = nullptr;
  device->GetRenderTarget(0, &before);
  ASSERT_EQ(env->BeginCube(cube), D3D_OK);
  const D3DCOLOR colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                               0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  for (int face = 0; face < 6; ++face) {
    ASSERT_EQ(env->Face(static_cast<D3DCUBEMAP_FACES>(face), 1), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, colours[face], 1, 0), D3D_OK);
  }
  ASSERT_EQ(env->End(1), D3D_OK);
  IDirect3DSurface9* after = nullptr;
  device->GetRenderTarget(0, &after);
  EXPECT_EQ(after, before);

  IDirect3DSurface9* face = nullptr;
  IDirect3DSurface9* copy = nullptr;
  ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &face), D3D_OK);
  ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                                nullptr),
            D3D_OK);
  ASSERT_EQ(device->GetRenderTargetData(face, copy), D3D_OK);
  D3DLOCKED_RECT locked;
  copy->LockRect(&locked, nullptr, 0);
  uint32_t texel;
  std::memcpy(&texel, locked.pBits, 4);
  EXPECT_EQ(texel & 0xFFFFFF, 0xFFFF00u);
  copy->UnlockRect();
  for (IDirect3DSurface9* s : {face, copy, before, after}) s->Release();
  env->Release();
  cube->Release();
}

}  // namespace
