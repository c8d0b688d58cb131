// The car test: wheels steer, spin and bounce, suspensions steer and bounce, the steering wheel
// turns, each from the matrix it had when the test started; and the motorbike check.
#include "editor/CEditInterface.h"

#include "render/ZCorvane.h"
#include "scene/ZFrame.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kWheelNames[4] = {"WHEEL_LF", "WHEEL_RF", "WHEEL_LR", "WHEEL_RR"};
constexpr const char* kSuspensionNames[4] = {"SUSP_LF", "SUSP_RF", "SUSP_LR", "SUSP_RR"};

// Restores the saved matrix; a front part then turns about the vertical by steerDegrees; the
// part is lifted by lift above its saved position.
void placePart(ZFrame& part, const ZMatrix& saved, bool front, float steerDegrees, float lift,
               float spinDegrees) {
  part.matrix = saved;
  if (front) {
    ZVector heading = part.getHeading();
    ZVector up = part.getUp();
    heading.rotateOnAxis(ZVector(0, 1, 0), steerDegrees);
    up.rotateOnAxis(ZVector(0, 1, 0), steerDegrees);
    part.setHeadingUp(heading, up);
  }
  if (spinDegrees != 0) part.rotatePitchDEG(spinDegrees);
  part.move(saved.getPosition() + ZVector(0, lift, 0));
}

}  // namespace

ZFrame* CEditInterface::findCarTestFrame(const std::string& name) {
  ZFrame* frame = rootFrame != nullptr ? rootFrame->getFrame(name) : nullptr;
  if (frame == nullptr) {
    MessageBoxA(GetActiveWindow(), ("Object " + name + " non found").c_str(), "Car Test", MB_OK);
  }
  return frame;
}

void CEditInterface::switchCarTest() {
  if (carTestRunning) {
    for (size_t i = 0; i < 4; ++i) {
      if (wheels[i] != nullptr) wheels[i]->matrix = wheelMatrices[i];
      if (suspensions[i] != nullptr) suspensions[i]->matrix = suspensionMatrices[i];
    }
    if (steer != nullptr) steer->matrix = steerMatrix;
    carTestRunning = false;
    return;
  }
  for (size_t i = 0; i < 4; ++i) wheels[i] = findCarTestFrame(kWheelNames[i]);
  for (size_t i = 0; i < 4; ++i) suspensions[i] = findCarTestFrame(kSuspensionNames[i]);
  for (size_t i = 0; i < 4; ++i) {
    if (wheels[i] != nullptr) wheelMatrices[i] = *wheels[i]->getMatrix();
    if (suspensions[i] != nullptr) suspensionMatrices[i] = *suspensions[i]->getMatrix();
  }
  steer = findCarTestFrame("STEER");
  if (steer != nullptr) steerMatrix = *steer->getMatrix();
  carTestRunning = true;
}

void CEditInterface::stepCarTest() {
  const uint32_t now = renderer->getTimeMs();
  const float seconds = float(now - carTestLastMs) / 1000.0f;
  carTestLastMs = now;
  carTestPhase += 2.0f * seconds;
  const float s = std::sin(carTestPhase);
  for (size_t i = 0; i < 4; ++i) {
    const bool front = i < 2;
    if (wheels[i] != nullptr) {
      placePart(*wheels[i], wheelMatrices[i], front, 20.0f * s, 0.05f * s,
                -100.0f * carTestPhase);
    }
    if (suspensions[i] != nullptr) {
      placePart(*suspensions[i], suspensionMatrices[i], front, 20.0f * s, 0.05f * s, 0);
    }
  }
  if (steer != nullptr) {
    steer->matrix = steerMatrix;
    steer->rotateRollDEG(200.0f * s);
  }
}

std::string CEditInterface::checkMotorbike() {
  if (rootFrame == nullptr) return "no model loaded";
  std::string text;
  ZFrame* found[3] = {};
  const char* names[3] = {"NULL_FW", "NULL_RW", "NULL_CG"};
  for (int i = 0; i < 3; ++i) {
    found[i] = rootFrame->getFrame(names[i]);
    if (found[i] == nullptr) text += "Error, frame " + std::string(names[i]) + " not found\n";
  }
  if (!text.empty()) return text;
  const float front = found[0]->getPosition().z;
  const float wheelbase = front - found[1]->getPosition().z;
  const float gravity = found[2]->getPosition().z;
  char line[128];
  std::snprintf(line, sizeof line, "WHEELBASE: %.3f m\nWEIGHT FRONT: %.1f %%", double(wheelbase),
                double(100.0f - ((front - gravity) / wheelbase) * 100.0f));
  return line;
}
