// The editor window's processor share on the sample car: idle (after a second without input)
// and while orbiting (left button held, the pointer moving every 16 ms), each over ten seconds of
// the process's own CPU time. Needs a display (run it under xvfb-run); prints both shares.
#include <sys/resource.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "editor/CEditInterface.h"
#include "shell/CViewport.h"
#include "shell/Form1.h"

namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for ms, calling step every 16 ms; the process's CPU share meanwhile.
double shareOver(int ms, const std::function<void()>& step) {
  const double before = cpuSeconds();
  QEventLoop loop;
  QTimer steps;
  QObject::connect(&steps, &QTimer::timeout, step);
  steps.start(16);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  return (cpuSeconds() - before) / (double(ms) / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  CViewport::useEditorSurfaceFormat();
  QApplication app(argc, argv);
  QDir::setCurrent(ZMF_DATA_DIR);
  Form1 window(QString(ZMF_DATA_DIR) + "/samples/car/car.zmt", true, "");
  window.show();
  shareOver(3000, [] {});  // start-up, the load, then a second without input
  const double idle = shareOver(10000, [] {});
  CViewport& view = window.viewport();
  const QPoint centre = view.mapToGlobal(view.rect().center());
  QCursor::setPos(centre);
  QMouseEvent press(QEvent::MouseButtonPress, view.rect().center(), centre, Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&view, &press);
  int step = 0;
  const double orbiting =
      shareOver(10000, [&] { QCursor::setPos(centre + QPoint((step++ % 40) - 20, 0)); });
  std::printf("idle: %.0f %% of one core; orbiting: %.0f %% of one core\n", idle * 100,
              orbiting * 100);
  return 0;
}
