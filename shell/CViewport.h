// The viewport the editor core draws into: a QOpenGLWidget whose context and framebuffer object
// the core's device uses as its window and back buffer. It reports typed characters, presses and
// the wheel; the frame itself is drawn by whoever sets onFrame, within paintGL.
#pragma once

#include <QOpenGLWidget>
#include <functional>
#include <memory>

#include "platform/gl/ExternalGLContext.h"

class CViewport : public QOpenGLWidget {
  Q_OBJECT

 public:
  explicit CViewport(QWidget* parent = nullptr);
  // The context every viewport needs, set as Qt's default before the application starts: an
  // OpenGL 2.1 compatibility context with depth and stencil.
  static void useEditorSurfaceFormat();
  ~CViewport() override;

  GLContext& glContext() { return *external; }
  // Called once the GL context exists (the core starts there), and for each paint.
  std::function<void()> onInitialize;
  std::function<void()> onFrame;

 signals:
  void keyTyped(char character);
  void pressed();
  void wheelTurned(int eighthsOfDegree);

 protected:
  void initializeGL() override;
  void paintGL() override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  std::unique_ptr<ExternalGLContext> external;
};
