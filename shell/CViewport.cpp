#include "shell/CViewport.h"

#include <GL/gl.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWheelEvent>

CViewport::CViewport(QWidget* parent) : QOpenGLWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  // An opaque picture whatever alpha the frame leaves, as a window's back buffer shows.
  setTextureFormat(GL_RGB8);
  setMouseTracking(true);
  ExternalGLContext::Callbacks callbacks;
  callbacks.makeCurrent = [this] {
    makeCurrent();
    return context() != nullptr && context()->isValid();
  };
  callbacks.framebuffer = [this] { return uint32_t(defaultFramebufferObject()); };
  callbacks.width = [this] { return int(width() * devicePixelRatio()); };
  callbacks.height = [this] { return int(height() * devicePixelRatio()); };
  // Qt shows the framebuffer object after each paint.
  external = std::make_unique<ExternalGLContext>(std::move(callbacks));
}

CViewport::~CViewport() = default;

void CViewport::useEditorSurfaceFormat() {
  QSurfaceFormat format;
  format.setVersion(2, 1);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  QSurfaceFormat::setDefaultFormat(format);
}

void CViewport::initializeGL() {
  if (onInitialize) onInitialize();
}

void CViewport::paintGL() {
  if (onFrame) onFrame();
}

void CViewport::keyPressEvent(QKeyEvent* event) {
  // Control chords (undo, redo, the menus' shortcuts) are the window's, never typed keys.
  const QByteArray text = event->text().toLatin1();
  if (text.size() == 1 && text[0] != 0 && !(event->modifiers() & Qt::ControlModifier)) {
    emit keyTyped(text[0]);
    event->accept();
    return;
  }
  QOpenGLWidget::keyPressEvent(event);
}

void CViewport::mousePressEvent(QMouseEvent* event) {
  setFocus();
  emit pressed();
  QOpenGLWidget::mousePressEvent(event);
}

void CViewport::wheelEvent(QWheelEvent* event) {
  emit wheelTurned(event->angleDelta().y());
  event->accept();
}
