// The engine: owner of every scene object it creates (frames, geometries, materials, cameras,
// lights, textures, buffers, effects), its texture and effect caches, the device and the frame it
// renders. It works without a device: factories, the texture cache (file facts only) and the
// whole scene model run headless, so model files and importers never need GL. Single-threaded.
//
// The implementation is split by concern: ZCorvane.cpp (objects and caches), ZCorvaneDevice.cpp
// (device creation), ZCorvaneFrame.cpp (frame sequence, transforms, lights, transparent pass),
// ZCorvaneBuffers.cpp (shared vertex and index buffers), ZCorvaneShadow.cpp (shadow maps).
#pragma once

#include "foundation/ZDirectoryList.h"
#include "foundation/ZMatrix.h"
#include "platform/d3d9/Direct3D9.h"
#include "platform/d3d9/Direct3DDevice9.h"
#include "platform/d3dx/D3DXEffect.h"
#include "platform/d3dx/D3DXMatrixStack.h"
#include "render/ZRenderState.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class ZCamera;
class ZCubeTexture;
class ZFrame;
class ZGeometry;
class ZLight;
class ZMaterial;
class ZTexture;
class ZVertexBuffer;

// The shader vertex (D3DFVF_CVSVERTEX): position, normal, t0, tangent; 44 bytes.
inline constexpr uint32_t D3DFVF_CVSVERTEX = 0x40212;
// Position, normal, t0; 32 bytes.
inline constexpr uint32_t D3DFVF_CVVERTEX = 0x112;
// Position, normal, t0, t1 (lightmap); 40 bytes.
inline constexpr uint32_t D3DFVF_CVLMVERTEX = 0x212;

// The declaration of the shader vertex.
inline constexpr D3DVERTEXELEMENT9 kShaderVertexElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    {0, 32, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    D3DDECL_END(),
};

// A transparent geometry deferred to the end of the frame, with the world matrix it had.
struct STransparentRecord {
  ZGeometry* geometry = nullptr;  // borrowed
  ZMatrix world;
  float distanceSq = 0;
};

class ZCorvane {
 public:
  // Defaults; starts the timer ("Init high performance timer...").
  ZCorvane();
  // Deletes, in order and each logged: textures, frames, geometries, materials, cameras, then
  // the buffers, effects, the device and the Direct3D object.
  virtual ~ZCorvane();
  ZCorvane(const ZCorvane&) = delete;
  ZCorvane& operator=(const ZCorvane&) = delete;

  // --- objects and caches (ZCorvane.cpp) ---
  // What the engine holds at a moment, so that everything made after it can go again (an
  // editor closing its model).
  struct SObjectMark {
    size_t frames = 0, geometries = 0, materials = 0, cameras = 0, textures = 0;
    std::vector<int32_t> vertexCounts;  // of each vertex buffer then
    std::vector<uint32_t> indexCounts;  // indices handed out by each index buffer then
  };
  SObjectMark markObjects() const;
  // Destroys the frames, geometries, materials, cameras, textures and buffers made after mark
  // and cuts the buffers that existed then back to what they held. Selections, the sky box, the
  // current camera and the drawing state that named released objects are cleared.
  void releaseObjectsSince(const SObjectMark& mark);
  // New objects owned by the engine, with this engine as theirs, in creation order. A new
  // material's index is the material count after adding it (the first gets 1).
  ZFrame* getNewFrame();
  ZGeometry* getNewGeometry();
  ZMaterial* getNewMaterial();
  ZCamera* getNewCamera();
  ZLight* getNewLight();

  // The texture cache: "LIGHTMAP" makes a new empty texture every time (never found by name);
  // any other name returns the texture of exactly that name (case-sensitive) or loads a new one,
  // cached whether or not the load succeeded. Never null.
  ZTexture* getTexture(const std::string& name);
  // The texture cached under exactly `name`, or null. Only textures the cache loaded by name
  // are found, and only while they keep that name: "LIGHTMAP" textures, even once filled from a
  // file, are never found by name.
  ZTexture* findTexture(const std::string& name) const;
  // Notes that a texture file is missing; true the first time for that name.
  bool reportMissingTexture(const std::string& name);
  // A small magenta-and-black checker shown in place of a texture whose file is missing; made
  // on first use, null without a device.
  IDirect3DTexture9* missingTexturePlaceholder();

  // The effect "shaders/" + name, loaded once and cached by name; the technique named
  // pipelineName is preferred. Without a device the effect holds parameters only (materials still
  // learn their variables). Null with shaders switched off, or when the file fails to build
  // ("**** FAILED ****", once per name).
  ID3DXEffect* loadEffect(const std::string& name);

  void setCamera(ZCamera* camera) { currentCamera = camera; }
  void addLight(ZLight* light) { activeLights.push_back(light); }
  // The current camera's visibility test; true without a camera.
  bool isSphereVisible(const ZVector& centre, float radius) const;
  // Milliseconds of the performance counter; the constant 33 without one.
  uint32_t getTimeMs() const;
  // Sets the three transforms-changed flags that materials read.
  void markTransformsChanged();

  // --- device (ZCorvaneDevice.cpp) ---
  // Stores the window (the GLContext* to draw into) and the caller's value; initDirect3D.
  bool init(HWND window, intptr_t callerValue);
  // Creates the device for the window, reading "cfg/corvane.ini" when present; false (and a
  // message) when no device can be made.
  bool initDirect3D(HWND window);

  // --- frame (ZCorvaneFrame.cpp) ---
  void beginScene();
  // Applies the default material, then EndScene.
  void endScene();
  // Present; false (with the code's name logged) on failure.
  bool swapBuffers();
  void clearBackAndDepthBuffers();
  void clearDepthBuffer();
  void clearTransparentBuffer();
  // Draws the deferred transparent geometries far to near.
  void transparentPass();
  void setViewport(int32_t x, int32_t y, int32_t w, int32_t h);
  void loadIdentity();
  void orthoProjection(float left, float right, float bottom, float top);
  void setWorldMatrix(const ZMatrix& m);
  void multWorldMatrix(const ZMatrix& m);
  // Pops the matrix stack and makes the new top the world transform.
  void popWorldMatrix();
  // Makes the matrix stack's top the world transform (device and copy); needs the stack.
  void worldFromStack();
  void setAmbientLight(float r, float g, float b);
  // Colours and direction of lights[0] from the sun's elevation and azimuth (radians).
  void setSun(float elevation, float azimuth);
  void setLightEnable(bool enable);
  void sortLights();
  void renderLites();
  void disableAllTextures();
  void setDefaultMaterial();
  void renderBackBox();
  void setMipMapBias(float bias);
  void drawFullScreenQuad(float uMin, float vMin, float uMax, float vMax);
  // Appends geometry with the current world matrix to transparentList.
  void deferTransparent(ZGeometry* geometry);

  // --- shared buffers (ZCorvaneBuffers.cpp) ---
  // First open buffer of format fvf with room for count more vertices (strictly below
  // maxVertexIndex), else a new one.
  ZVertexBuffer* getVertexBuffer(uint32_t fvf, int32_t count);
  // The last index buffer when count more indices stay strictly below maxIndexBufferSize, else
  // a new one.
  ZVertexBuffer* getIndexBuffer(int32_t count);
  void finaliseVertexBuffers(bool freeSource);

  // --- shadow maps (ZCorvaneShadow.cpp) ---
  void initShadowMaps(int32_t w, int32_t h);
  void setShadowMapParams(float x, float y, float z, float distance, float size);
  void beginShadowMapPass(ZLight* light, int index);
  void endShadowMapPass();

  // Device objects.
  IDirect3D9* direct3d = nullptr;           // owned reference
  IDirect3DDevice9* device = nullptr;       // owned reference once a device exists; null headless
  ID3DXMatrixStack* matrixStack = nullptr;  // owned
  IDirect3DVertexDeclaration9* vertexDeclaration = nullptr;  // owned reference
  IDirect3DSurface9* mainRenderTarget = nullptr;             // owned reference
  IDirect3DSurface9* mainDepthSurface = nullptr;             // owned reference
  ID3DXEffect* baseEffect = nullptr;                         // from the effect cache

  // Display settings, written before init.
  HWND windowHandle = nullptr;
  intptr_t initValue = 0;
  int32_t width = 800;
  int32_t height = 600;
  bool fullscreen = false;
  int32_t refreshRate = 0;
  int32_t multiSampleType = 0;
  uint32_t multiSampleQuality = 0;
  D3DFORMAT surfaceFormat = D3DFMT_X8R8G8B8;

  ZMatrix projection;
  ZMatrix view;
  ZMatrix world;
  bool transformsChanged[3] = {true, true, true};

  std::vector<std::unique_ptr<ZFrame>> frames;
  std::vector<std::unique_ptr<ZGeometry>> geometries;
  std::vector<std::unique_ptr<ZMaterial>> materials;
  std::vector<std::unique_ptr<ZCamera>> cameras;
  std::vector<std::unique_ptr<ZLight>> lights;
  std::vector<std::unique_ptr<ZTexture>> textures;
  std::vector<std::unique_ptr<ZVertexBuffer>> vertexBuffers;
  std::vector<std::unique_ptr<ZVertexBuffer>> indexBuffers;
  struct NamedEffect {
    std::string name;
    ID3DXEffect* effect;  // owned reference
  };
  std::vector<NamedEffect> effects;

  std::vector<ZLight*> activeLights;  // borrowed; sorted nearest first every frame
  std::vector<STransparentRecord> transparentList;

  ZCamera* currentCamera = nullptr;        // borrowed
  ZGeometry* selectedGeometry = nullptr;   // borrowed; never deferred
  ZFrame* selectedFrame = nullptr;         // borrowed
  ZVertexBuffer* currentVertexBuffer = nullptr;  // last bound
  ZVertexBuffer* currentIndexBuffer = nullptr;   // last bound
  ZGeometry* currentGeometry = nullptr;    // being drawn
  ZMaterial* currentMaterial = nullptr;    // whose effect is in use
  ZMaterial* defaultMaterial = nullptr;
  ZFrame* backBox = nullptr;  // borrowed sky box, drawn around the camera
  ZVector backBoxPosition;
  std::unique_ptr<ZCubeTexture> environmentMap;  // "CurrentCubeTexture" of the effects

  bool inTransparentPass = false;
  bool inShadowPass = false;
  bool shadersEnabled = true;
  std::string pipelineName;
  float ambientColour[3] = {0.5f, 0.5f, 0.5f};
  D3DCOLOR clearColour = 0xFF000000;
  // Faces wound counter-clockwise seen from the front (the right-handed convention the face
  // normals follow) appear counter-clockwise on screen, so the back faces are the clockwise ones.
  DWORD defaultCullMode = D3DCULL_CW;
  // Asked before a material applies; false skips the apply. Empty: none.
  std::function<bool(ZMaterial*)> materialHook;

  int32_t maxIndexBufferSize = 300000;
  int32_t maxVertexIndex = 65530;
  int32_t maxTextureSize = 488192;
  int32_t textureMemoryKB = 0;
  // Folders where meshes find their "<name>_lightmap.dds".
  ZDirectoryList shadowDirectoryList;

  double ticksPerMs = 0;  // performance-counter ticks per millisecond; 0 without a counter
  uint32_t lastFrameMs = 0;
  int32_t frameTimeMs = 0;
  float timeScale = 1;  // frame time in 33 ms frames, at most 5

  ZRenderState renderState{this};

  // Shadow maps: 0 near, 1 wide (sharing 0's depth surface).
  std::array<ZTexture*, 2> shadowMaps{};  // owned through textures
  ZMaterial* shadowMaterial = nullptr;
  ZVector shadowCentre;
  float shadowDistance = 0;
  float shadowSize = 0;  // of the shadow pass in progress: the shadow visibility test's window
  float shadowSizes[2] = {0, 0};
  float shadowBias = 0;
  float shadowCross = 0;  // "cvShadowCross" of the effects

  // Per-frame statistics of the frames drawn.
  struct Statistics {
    int32_t frames = 0, geometries = 0, triangles = 0;
  } frameStatistics;

 private:
  std::set<std::string> missingTextures;
  std::set<std::string> failedEffects;  // names whose effect did not build
  // First cached texture of each name, so a model naming thousands of textures loads linearly.
  std::unordered_map<std::string, ZTexture*> textureIndex;
  IDirect3DTexture9* placeholder = nullptr;  // owned reference
};
