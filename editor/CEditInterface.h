// The editor core: one per program run. It owns the renderer, the loaded model, the viewport
// camera and the editor's lists (track cameras, reference points, flags); each idle turn of its
// host it draws one frame; between frames it takes typed keys, steers the viewport with the mouse
// and loads or saves models. It holds no window: it draws into the GL context its host made
// (passed as the window handle) and calls the host back through IEditShell.
//
// The implementation is split by concern: CEditInterface.cpp (construction, start-up),
// CEditFrame.cpp (the frame), CEditInput.cpp (keys and mouse), CEditModel.cpp (loading and
// saving), CEditPhysicRefs.cpp (reference points and model checks), CEditTrack.cpp (sky box,
// flags, track diagram), CEditTrackRefs.cpp (track points), CEditCameras.cpp (track cameras),
// CEditBulkTools.cpp (whole-model tools), CEditShellTools.cpp (the panels' tools),
// CEditCarTest.cpp (the car test), CEditCommands.cpp and CEditReplies.cpp (the command protocol).
#pragma once

#include "editor/CObjectHandles.h"
#include "editor/CUndoHistory.h"
#include "editor/EditPackets.h"
#include "editor/SPhysicRef.h"
#include "editor/SZMFFlagDef.h"
#include "formats/ZFileZMF.h"
#include "foundation/ZDebugLog.h"
#include "foundation/ZMatrix.h"
#include "foundation/ZVector.h"
#include "platform/desktop.h"
#include "render/IShadowMapCallback.h"
#include "render/ZCorvane.h"
#include "render/ZStringBlitter.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CHDRLighting;
class CTerrainFrame;
class CTrackBuilder;
class IEditShell;
class ZCamera;
class ZFrame;
class ZGeometry;
class ZMaterial;
class ZObjectBuilder;
struct LoadedModel;
class ZTexture;

// The material panel's fields that write back together: of the selected geometry's material
// (the filters of layer 1: list entry 0 for point, 1 for linear), of the geometry, and of a
// selected frame.
struct SMaterialFields {
  bool alphaTest = false;
  int32_t alphaRef = 0;
  bool doubleFace = false;
  bool useZBuffer = true;
  bool noZWrite = false;
  float specularPower = 0;
  int32_t magMinFilter = 1;
  int32_t mipFilter = 1;
  bool castShadow = false;
  bool transparent = false;
  bool frameMoveable = false;
};

class CEditInterface : public IShadowMapCallback, public IZMFListener {
 public:
  // The log opens on logFileName ("logLite.txt" in the editor); an empty name leaves standard
  // output where it is, for tools and tests.
  explicit CEditInterface(const std::string& logFileName = kLogFileName);
  ~CEditInterface() override;
  CEditInterface(const CEditInterface&) = delete;
  CEditInterface& operator=(const CEditInterface&) = delete;

  // --- session (CEditInterface.cpp) ---
  // Start-up, once, after the host has set windowHandle (its GLContext) and shell.
  void init();
  // The view size "zmfedit.ini" asks for (section DISPLAY, WIDTH and HEIGHT), 1024 x 768 when
  // the file cannot be read; hosts size their view by it before init.
  static void readDisplaySize(int32_t& width, int32_t& height);

  // --- frame (CEditFrame.cpp) ---
  void onIdle();
  void onRenderShadowMap() override;

  // HDR post-processing, off at start: a renderer setting. The chain is made at the first switch
  // on; false (and off) when the device cannot carry it.
  bool setHDR(bool on);
  bool hdrEnabled = false;
  std::unique_ptr<CHDRLighting> hdr;

  // --- input (CEditInput.cpp) ---
  void onKeyPressed(char c);
  void mouseControl();
  void setLockMouse(bool locked);

  // --- models (CEditModel.cpp) ---
  void loadZMT(const std::string& fileName);
  void loadASE(const std::string& fileName, float scale, bool multi, bool lightmaps);
  void loadOBJ(const std::string& fileName, float scale);
  void loadXSI(const std::string& fileName, float scale, bool multi);
  // glTF, FBX, DAE, 3DS, PLY, STL and X files, through the foreign-format importers.
  void loadFBX(const std::string& fileName, float scale);
  // With collapse the moveable frames are collapsed and the meshes sorted after the load.
  void loadZMF(const std::string& fileName, bool collapse);
  // Opens a model by its extension with importScale (the shell's Open, the command-line file);
  // false when the extension names no model format.
  bool openModel(const std::string& fileName);
  // Back to the state before the first load, so that another model can be opened: the model
  // and everything the renderer made for it released; the sky box, selection, track cameras,
  // flags, reference points (the start-up table), car test and track builder reset.
  void closeModel();
  // False when there is no model or the file could not be written.
  bool saveZMF(const std::string& fileName);
  bool saveZMT(const std::string& fileName);
  // The model as glTF (.gltf, .glb), OBJ, FBX or DAE by the extension, the sky box's meshes in
  // the root as a save writes them; with copyTextures the pictures are copied beside it. False
  // (logged) for another extension or when it could not be written.
  bool exportModel(const std::string& fileName, bool copyTextures);
  void onZMFProgress(const std::string& message, int32_t percent) override;

  // --- reference points and checks (CEditPhysicRefs.cpp) ---
  void initPhysicRefs();
  SPhysicRef& getPhysicRef(const std::string& name);
  ZVector getPhysicRefPos(const std::string& name) const;
  bool hasPhysicRef(const std::string& name) const;
  void exportPhysicRefs(const std::string& fileName);
  void importPhysicRefs(const std::string& fileName);
  void renderPhysicRefs();
  void renderBOX(const ZVector& centre, const ZVector& halfSize, const ZVector& colour);
  void renderStart(const ZVector& position, const ZVector& heading, const ZVector& colour);
  // Each shows its result in a message box and returns its text.
  std::string checkTire();
  std::string checkCar();
  std::string checkCarInt();

  // --- sky box, flags, track map (CEditTrack.cpp) ---
  void initSkybox();
  // A ZMF model as the sky box (the previous one is abandoned).
  void loadSkybox(const std::string& fileName);
  // The sky box's geometries back into the model; no sky box afterwards.
  void moveSkybox(bool toFrame);
  // A flag at every root geometry named "INV_FLAG...", guids from 0 on every call.
  void genFlagsFrom3D();
  void renderFlags();
  void renderTrackDiagram();
  // A random stage from the track builder (seeded, of about length metres of corners and
  // straights) as a new frame "STAGE" of the model, or of a new model when none is loaded, with
  // its cameras added to the track cameras and its map drawn; the pace notes go to notesPath.
  // An undo step within a model. The builder that made it.
  CTrackBuilder* generateStage(unsigned seed, float length, const std::string& notesPath);

  // --- track reference points (CEditTrackRefs.cpp) ---
  void exportPhysicRefsTR(const std::string& fileName);
  // A file that cannot be read leaves the points as they are.
  void importPhysicRefsTR(const std::string& fileName);
  // The reference panel: the point being edited (drawn highlighted, moved by the 's' key), and
  // its position with the heading its companion (the name followed by "d") keeps in x. Unknown
  // names change nothing.
  void selectReference(const std::string& name);
  void setTrackReference(const std::string& name, const ZVector& position, float heading);
  // Pit, box and start points and their headings from the model's marker meshes ("INV_PIT_1"
  // and "INV_TARGETPIT_1", ...); the file name is not used.
  void genRefsFrom3D(const std::string& fileName);

  // --- track cameras (CEditCameras.cpp) ---
  void exportCameras(const std::string& fileName);
  // Replaces cameraList by the file's cameras; a file that cannot be read changes nothing.
  void importCameras(const std::string& fileName);
  // Appends the cameras of a PZC file.
  void importPZC(const std::string& fileName);
  // The camera panel: a new camera "NCAMERA<count>"; the editor camera taken to a camera's view
  // (returned, null for no such index); a camera set from the editor camera with the panel's
  // values; the editor camera's field of view set to a camera's narrowest or widest; a camera
  // taken off the list (the renderer keeps it until the model is closed, for undo).
  ZCamera* newTrackCamera();
  ZCamera* viewFromTrackCamera(int index);
  void setTrackCamera(int index, int tag, int minFov, int maxFov, bool fixed);
  void testTrackCameraFov(int index, bool widest);
  void deleteTrackCamera(int index);

  // --- whole-model tools (CEditBulkTools.cpp) ---
  // Geometries named from a non-zero number ("12ROAD") are physics surfaces of the simulation.
  static bool isPhysicsName(const std::string& name);
  // Shade model 1 for the graphics geometries whose layer-0 texture has an alpha channel.
  void autoAlpha(ZFrame* frame);
  // Layers 1 to 7 and the effect taken off every material of the sub-tree.
  void makeLODMaterial(ZFrame* frame);
  // White diffuse and ambient for every material of the sub-tree (null: the model).
  void makeMatsWhite(ZFrame* frame);
  // Each root geometry takes the material of the first one whose material shows the same
  // layer-0 texture.
  void simplifyMaterials();
  // Materials, variables and transparency from a ZMT file's geometries of the same names.
  void merge(const std::string& fileName);
  void mergeFrame(ZFrame* source, ZFrame* target);
  void transAll(ZFrame* frame, ZMaterial* material, bool transparent);
  // Visibility by naming: 0 the physics road surfaces, 1 the graphics, 2 everything.
  void hideWizard(ZFrame* frame, int mode);

  // --- the panels' tools (CEditShellTools.cpp) ---
  static std::vector<std::string> stagePresetNames();
  // The named alpha preset on a layer of the selected geometry's material; false when there is
  // no such preset or material.
  bool applyStagePreset(int layer, const std::string& preset);
  // Actions 1 to 5 on the root geometries whose names contain filter (case-sensitive).
  void batchAction(const std::string& filter, int action);
  void removeCast();
  void autoShadow();
  void setSmooth(bool on);
  void removeLightmap();
  void rotate90();
  // The selected frame into its parent, or, with none selected, every child into the root.
  void collapseSelection();
  enum class FramePlacement { move, pivot, repivot };
  void placeSelectedFrame(FramePlacement placement, const ZVector& value);
  // About x, y or z (0 to 2) through the pivot, or roll (3).
  void rotateSelectedFrame(int axis, float degrees);
  void scaleSelected(const ZVector& factors);
  // The selected geometry's box extent as "%.3f %.3f %.3f"; empty without a selection.
  std::string selectedSize() const;
  // The selected geometry also in a new last child of the root of its name; that frame.
  ZFrame* promoteSelected();
  void renameSelection(const std::string& name, bool geometry, bool frame);
  // A layer's texture from the texture cache; an empty name removes it.
  void setSelectedTexture(int layer, const std::string& fileName);
  void invertSelectedU();
  // The panel's fields from the selection (defaults where there is none), and back: the
  // material's fields when the selected geometry has a material, the geometry's flags when one
  // is selected, the frame's moveable flag when a frame is.
  SMaterialFields getActiveMaterial() const;
  void setActiveMaterial(const SMaterialFields& fields);
  // The effect of the selected geometry's material; an empty name removes it.
  void chooseShader(const std::string& effectName);
  // A value of the variables grid back into the selected geometry's material's effect.
  void setSelectedEffectVariable(const std::string& name, float value);
  // Sets or adds a variable of the selected geometry; the message shown ("Var modified", or
  // "Var added [name=value]").
  std::string setSelectedVar(const std::string& name, float value);
  enum class MaterialColour { diffuse, ambient, specular, emissive };
  // A swatch colour in 0..255 per channel.
  void setSelectedColour(MaterialColour which, int red, int green, int blue);
  void setSelectedOpacity(int percent);
  void alphaBlendSelected();
  // The sun's direction from the two sliders (degrees, 90 straight down).
  void setSunFromSliders(int sliderX, int sliderZ);
  // The sun's diffuse colour and the ambient light from their swatches (0..255 a channel).
  void setSunColour(int red, int green, int blue);
  void setAmbientColour(int red, int green, int blue);

  // --- command protocol (CEditCommands.cpp, CEditReplies.cpp) ---
  // Runs one command packet from a client (the first byte its code); answers go to
  // replyFunction. A null or empty packet does nothing; one shorter than its command's layout is
  // refused with a log line.
  void onReceive(const uint8_t* packet, int32_t size);
  // The object list: a one-byte header (code 3), then every frame and geometry from the root in
  // pre-order, each with its handle.
  void sendObjectDefs();
  void sendFrameDef(ZFrame* frame);
  void sendMaterialDef(ZMaterial* material);
  // Stage 0 to 7 of the selected geometry's material.
  void sendStageDef(int stage);
  void setStageDef(const SZMFStageDef& def);
  void sendCameras();
  void sendLightInfo();
  // The flag with that guid, appended (at the origin) when there is none.
  int getFlagIndex(int32_t guid);

  // --- undo and redo (CEditUndo.cpp) ---
  // The last edit step taken back or done again (a running car test is stopped first); false
  // when there is none. Meshes whose arrays came back get device copies again, the shell its
  // tree; a selection that left the tree is cleared.
  bool undo();
  bool redo();
  // "Set material of 12ROAD_L": the step undo or redo would take; empty when there is none.
  std::string undoName() const { return history.undoName(); }
  std::string redoName() const { return history.redoName(); }
  // The history's bound from "zmfedit.ini" (section UNDO, key MEMORYMB; 512 MB when absent).
  static size_t readUndoMemoryLimit();

  // --- car test (CEditCarTest.cpp) ---
  void switchCarTest();
  void stepCarTest();
  // The motorbike check's text: wheelbase and front weight share, or the missing frames.
  std::string checkMotorbike();

  // Fields, in the order the session declares them.
  bool showLayers = true;
  ZVector importScale{1, 1, 1};
  float orthoZoom = 1.0f;
  bool showOverlay = false;
  // Car test.
  bool carTestRunning = false;
  std::array<ZFrame*, 4> wheels{};       // borrowed: left front, right front, left rear, right rear
  std::array<ZFrame*, 4> suspensions{};  // borrowed, same order
  std::array<ZMatrix, 4> wheelMatrices;
  std::array<ZMatrix, 4> suspensionMatrices;
  ZFrame* steer = nullptr;  // borrowed
  ZMatrix steerMatrix;
  uint32_t carTestLastMs = 0;
  float carTestPhase = 0;  // radians
  bool mouseInWindow = false;
  int32_t viewMode = 0;  // 0 perspective, 1 left, 2 top, 3 front
  float shadowRange = 120.0f;
  CTrackBuilder* trackBuilder = nullptr;  // borrowed; when set its map is drawn
  std::vector<std::unique_ptr<CTrackBuilder>> stageBuilders;  // those generateStage made
  bool mouseLocked = false;
  IEditShell* shell = nullptr;  // borrowed
  ZFrame* flagModel = nullptr;  // renderer-owned
  std::vector<SZMFFlagDef> flagDefs;
  std::unique_ptr<CTerrainFrame> terrain;
  ZMaterial* refMaterial = nullptr;  // renderer-owned
  bool refDepthTest = false;
  char selectedRef[64] = "-";
  bool refEditMode = false;
  std::vector<SPhysicRef> physicRefs;
  uint32_t backgroundColor = 0;
  ZCorvane* renderer = nullptr;  // owned: made with the core, destroyed with it
  HWND windowHandle = nullptr;   // the host's GLContext
  int32_t viewWidth = 0;
  int32_t viewHeight = 0;
  std::unique_ptr<ZCamera> editorCamera;
  ZDebugLog log;
  ZFrame* rootFrame = nullptr;  // renderer-owned; at most one model per run
  int32_t lastMouseX = 0;
  int32_t lastMouseY = 0;
  int32_t navigationMode = 1;  // 0 orbital, 1 free, 2 move frame
  ZStringBlitter textOut;
  std::function<void(const uint8_t* packet, int32_t size)> replyFunction;
  bool lightView = false;
  bool shadowOverlay = false;
  std::vector<ZCamera*> cameraList;  // created through the renderer
  // The number of the model's state: a new one for every edit of the model, its reference
  // points, cameras, flags, lights or sky box, whatever asked for it (key, mouse, packet, panel),
  // and the earlier one again when the edit is undone; a window compares it with its value at
  // the last load or save to know whether there are unsaved edits.
  uint64_t modificationCount = 0;
  // Every edit is a step of it; loading and closing a model clear it.
  CUndoHistory history{modificationCount};

  static constexpr const char* kLogFileName = "logLite.txt";

 private:
  float diagramScale = 0.001f;  // of the track map, from the previous call
  // Renderer-owned materials of the thumbnails and the track map, made on first use.
  ZMaterial* thumbnailMaterial = nullptr;
  ZMaterial* diagramMaterial = nullptr;
  bool mouseWasInWindow = false;

  // The command protocol.
  struct Command;
  static const Command& command(int code);
  void reply(const void* packet, size_t size);
  template <typename Record>
  void reply(const Record& record) {
    reply(&record, sizeof record);
  }
  void sendFrameDefAt(ZFrame* frame, uint32_t slot);
  void selectByHandle(uint32_t handle, int32_t type);
  void setMaterial(const SZMFMaterialDef& def);
  // Codes 9, 10 and 11: the selected frame up, down or last among its siblings.
  void moveSelectedFrame(int code);
  void setCamera(const SZMFCameraDef& def);
  void copyEditorView(ZCamera& camera) const;
  void applyShadowEffect(bool numberedOnly);
  void removeRootEffects();
  void setVariables(const SZMFVariableList& list, bool geometry);
  void sendVariables(bool geometry);
  void setHierarchy(const std::string& parentName, const std::string& childName);
  void transparencyToAll();
  void sendReference(const SZMFRefDef& request);
  void setReference(const SZMFRefDef& def);
  void referenceToSelectedFrame();
  void sendWallCheck();
  void setLight(const SZMFLightInfo& info);
  void placeFlag(const SZMFFlagDef& packet);
  // A ZMF model as the sky box, textures from the "texture" folder beside it and, with
  // dataTextures, from the data folder's.
  void loadSkyboxFile(const std::string& fileName, bool dataTextures);

  CObjectHandles handles;
  ZCorvane::SObjectMark beforeModel;  // what the renderer held once start-up was done
  // Opens the undo step of an edit (joined when one is open); the edit then records what it is
  // about to change.
  [[nodiscard]] CUndoHistory::Scope edit(const std::string& name) { return history.scope(name); }
  // "action of NAME" for the selected geometry, else the selected frame, else the action alone.
  std::string ofSelection(const std::string& action) const;
  bool takeStep(bool redo);
  void refreshAfterStep(SUndoRefresh& refresh);
  // Every frame and mesh of the model's tree, for the selection check after a step.
  bool inModel(const ZFrame* frame) const;
  bool inModel(const ZGeometry* geometry) const;
  bool dragging = false;  // a move-frame drag's step is open
  void endDrag();
  // Before a pivot move or turn: the frame, its children and its own meshes' arrays.
  void recordPivot(ZFrame& frame);
  ZMaterial* overlayMaterial(ZMaterial*& material);
  ZCamera* trackCamera(int index) const;
  // False (with a log line naming the tool) when no model is loaded.
  bool hasModel(const char* tool) const;
  // The selected geometry's material, or null (with a log line naming the tool).
  ZMaterial* selectedMaterial(const char* tool) const;
  void finishLoad();
  // A new root frame filled by load through builder, the finish-load steps, and the importer's
  // cameras appended to cameraList.
  void importModel(ZObjectBuilder& builder, const std::string& fileName,
                   const std::function<bool()>& load);
  // The engine's own files, text or binary, into a new root frame.
  void loadEngineFile(const std::string& fileName, bool binary, bool collapse);
  // The largest distance from the root's origin that the model reaches, to the log.
  void logFrameRadius() const;
  void applyFileLighting(const ZFileZMF& file);
  void drawShadowMaps();
  void applyViewCamera();
  void drawLightFrustum();
  void drawShadowOverlay();
  void drawTextAndCrossHair();
  void drawThumbnails();
  void drawThumbnail(ZTexture* texture, int index, float step);
  // Geometry edits of the keys g, i and n: the selected geometry changed, the tree recompiled.
  void regenerateSelected(const std::string& name, const std::function<void(ZGeometry&)>& change);
  void halveMeshes();
  void pickAlongView(bool placeFlag);
  void importForeign(const std::string& fileName, float scale,
                     const std::function<bool(ZObjectBuilder&)>& load);
  bool saveModel(const std::string& fileName, bool binary);
  // Writes through write the model with the sky box's meshes in the root as "SKYBOX", the track
  // cameras and the lighting; false without a model.
  bool writeModel(const std::string& fileName, const std::function<bool(LoadedModel&)>& write);
  // Looks up the frame and reports it missing by message box; the found frame becomes moveable.
  ZFrame* findCarTestFrame(const std::string& name);
};
