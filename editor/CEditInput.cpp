// Keyboard and mouse: the typed-key table and the viewport's mouse and arrow-key navigation.
#include "editor/CEditInterface.h"

#include "editor/IEditShell.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <cctype>
#include <cstring>

namespace {

bool keyHeld(int virtualKey) { return (GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

bool inside(const RECT& rect, const POINT& point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

// The camera turns about the vertical axis by dx and pitches by dy (pixels).
void turnCamera(ZCamera& camera, float dx, float dy) {
  camera.rotateOnAxis(dx * -0.2f, ZVector(0, 1, 0));
  camera.rotatePitch(dy * -0.2f);
}

}  // namespace

void CEditInterface::setLockMouse(bool locked) {
  mouseLocked = locked;
  if (!locked) {
    POINT cursor;
    GetCursorPos(&cursor);
    lastMouseX = int32_t(cursor.x);
    lastMouseY = int32_t(cursor.y);
  }
}

void CEditInterface::mouseControl() {
  if (dragging && !keyHeld(VK_LBUTTON)) endDrag();
  if (mouseLocked) return;
  POINT cursor;
  GetCursorPos(&cursor);
  RECT window;
  GetWindowRect(nullptr, &window);
  const bool enteredNow = mouseInWindow != mouseWasInWindow;
  mouseWasInWindow = mouseInWindow;
  const float dx = float(cursor.x - lastMouseX);
  const float dy = float(cursor.y - lastMouseY);
  lastMouseX = int32_t(cursor.x);
  lastMouseY = int32_t(cursor.y);
  if (!mouseInWindow || enteredNow || !inside(window, cursor)) return;

  ZCamera& camera = *editorCamera;
  const bool left = keyHeld(VK_LBUTTON);
  const bool right = keyHeld(VK_RBUTTON);
  if (viewMode >= 1 && viewMode <= 3 && right) orthoZoom += dy * 0.01f;

  if (navigationMode == 0) {
    if (left) {
      ZVector pivot = rootFrame->getPosition();
      if (refEditMode && hasPhysicRef(selectedRef)) pivot = getPhysicRefPos(selectedRef);
      const float distance = camera.position.distance(pivot);
      camera.position = pivot;
      turnCamera(camera, dx, dy);
      camera.moveForward(-distance);
    }
    if (right) camera.moveForward(dy * -0.05f);
  } else if (navigationMode == 2) {
    if (left && renderer->selectedFrame != nullptr) {
      // One step from press to release.
      if (!dragging) history.open(ofSelection("Drag"));
      dragging = true;
      history.recordFrame(renderer->selectedFrame);
      const ZVector side = camera.heading % camera.up;
      renderer->selectedFrame->moveStep(side * (dx * 0.001f) + camera.up * (dy * -0.001f));
    }
  } else if (navigationMode == 1) {
    if (left) {
      turnCamera(camera, dx, dy);
      camera.setFrameTarget(nullptr);
    }
    float speed = 0.2f;
    if (keyHeld(VK_SHIFT)) speed = 0.005f;
    if (keyHeld(VK_CONTROL)) speed = 2.0f;
    const ZVector side = camera.heading % camera.up;
    if (keyHeld(VK_UP)) camera.moveForward(speed);
    if (keyHeld(VK_DOWN)) camera.moveForward(-speed);
    if (keyHeld(VK_LEFT)) camera.position = camera.position - side * speed;
    if (keyHeld(VK_RIGHT)) camera.position = camera.position + side * speed;
  }
}

void CEditInterface::regenerateSelected(const std::string& name,
                                        const std::function<void(ZGeometry&)>& change) {
  const auto step = edit(ofSelection(name));
  ZGeometry* selected = renderer->selectedGeometry;
  if (selected == nullptr || rootFrame == nullptr) return;
  history.recordGeometry(selected, true);
  rootFrame->prepareRecompile();
  change(*selected);
  rootFrame->compile();
  renderer->finaliseVertexBuffers(false);
}

void CEditInterface::halveMeshes() {
  const auto step = edit(ofSelection("Halve meshes"));
  ZFrame* target = renderer->selectedFrame != nullptr ? renderer->selectedFrame : rootFrame;
  if (target == nullptr) return;
  history.recordFrame(target);
  for (ZGeometry*& geometry : target->geometries) {
    const int faces = int(geometry->faces.size());
    zlog("Simplify from %d faces to %d\n", faces, faces / 2);
    if (faces <= 8) continue;
    ZGeometry* simplified = geometry->getSimplifiedGeometry(faces / 2);
    if (simplified != nullptr) geometry = simplified;
  }
  target->prepareRecompile();
  target->compile();
  renderer->finaliseVertexBuffers(false);
  if (shell != nullptr) shell->updateTree();
}

void CEditInterface::pickAlongView(bool placeFlag) {
  ZCamera* camera = renderer->currentCamera;
  if (rootFrame == nullptr || camera == nullptr) return;
  float distance = 0;
  ZGeometry* hit = rootFrame->rayIntersect(camera->position, camera->heading, distance);
  if (hit == nullptr) return;
  const ZVector point = camera->position + camera->heading * distance;
  if (placeFlag) {
    SZMFFlagDef packet;
    const ZVector flag = point + ZVector(0, 1, 0);
    packet.x = flag.x;
    packet.y = flag.y;
    packet.z = flag.z;
    packet.guid = -1;
    if (replyFunction) replyFunction(reinterpret_cast<const uint8_t*>(&packet), sizeof packet);
    return;
  }
  if (refEditMode) {
    if (std::strstr(selectedRef, "PZTR_") == nullptr) return;
    const auto step = edit(std::string("Place ") + selectedRef);
    history.recordValue(physicRefs);
    SPhysicRef& ref = getPhysicRef(selectedRef);
    ref.x = point.x;
    ref.y = point.y;
    ref.z = point.z;
    zlog("%s\n", ref.name);
    if (shell != nullptr) shell->refChanged(std::string(selectedRef) + "d");
    return;
  }
  renderer->selectedGeometry = hit;
  if (shell != nullptr) shell->selectionChanged(hit);
}

void CEditInterface::onKeyPressed(char c) {
  zlog("Key pressed %c\n", c);
  ZGeometry* selected = renderer->selectedGeometry;
  ZCamera* camera = renderer->currentCamera;
  switch (c) {
    case ' ':
      navigationMode = navigationMode == 0 ? 1 : 0;
      break;
    case '#':
      halveMeshes();
      break;
    case '1':
    case '2':
      if (camera != nullptr) camera->fov += c == '1' ? -5.0f : 5.0f;
      break;
    case 'c':
      if (renderer->selectedFrame != nullptr) navigationMode = navigationMode == 2 ? 0 : 2;
      break;
    case 'd':
      if (rootFrame == nullptr) break;
      if (selected != nullptr) {
        const auto step = edit("Delete " + selected->name);
        history.recordSubtree(rootFrame, CUndoHistory::kFrames);
        rootFrame->removeGeometry(selected);
        renderer->selectedGeometry = nullptr;
      } else if (renderer->selectedFrame != nullptr) {
        const auto step = edit("Delete " + renderer->selectedFrame->name);
        history.recordSubtree(rootFrame, CUndoHistory::kFrames);
        rootFrame->removeFrame(renderer->selectedFrame);
        renderer->selectedFrame = nullptr;
      }
      break;
    case 'f':
      if (rootFrame != nullptr) {
        const auto step = edit("Collapse all");
        history.recordSubtree(rootFrame, CUndoHistory::kTree);
        rootFrame->collapseMoveable(nullptr);
        rootFrame->sortGeometries();
      }
      break;
    case 'g':
      regenerateSelected("Generate normals", [](ZGeometry& g) { g.generateNormals(); });
      break;
    case 'i':
      regenerateSelected("Flip faces", [](ZGeometry& g) {
        g.flipFaces();
        g.generateNormals();
      });
      break;
    case 'n':
      regenerateSelected("Normalize texture coordinates", [](ZGeometry& g) {
        g.normalizeTextureCoords();
        g.generateNormals();
      });
      break;
    case 'j':
      if (selected != nullptr && selected->material != nullptr) {
        const auto step = edit("New material for " + selected->name);
        history.recordGeometry(selected, false);
        selected->setMaterial(renderer->getNewMaterial());
      }
      break;
    case 'm':
      pickAlongView(true);
      break;
    case 'p':
      renderer->shadersEnabled = !renderer->shadersEnabled;
      break;
    case 'r':
      if (selected != nullptr && selected->material != nullptr) {
        for (int layer = 0; layer < 6; ++layer) {
          ZTexture* texture = selected->material->stage(layer).texture;
          if (texture != nullptr) texture->reload();
        }
      }
      break;
    case 's':
      pickAlongView(false);
      break;
    case 'v':
      lightView = !lightView;
      break;
    case 'z':
      refDepthTest = !refDepthTest;
      break;
    default:
      break;
  }
}
