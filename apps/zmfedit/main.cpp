// zmfedit: the editor window. "zmfedit [FILE]" opens FILE; "zmfedit --screenshot OUT.png [FILE]"
// draws a few frames, saves the viewport as a PNG and exits (documentation, bug reports, tests).
// The data folder (shaders, textures, flags) becomes the current folder, as the editor's files
// are named relative to it.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <cstdio>
#include <filesystem>

#include "editor/CEditInterface.h"
#include "foundation/ZDataFolder.h"
#include "shell/CViewport.h"
#include "shell/Form1.h"

namespace {

constexpr int kScreenshotFrames = 5;  // enough for the shadow maps and buffers to settle

struct Arguments {
  QString file, screenshot;
  bool ok = true;
};

Arguments parse(const QStringList& args) {
  Arguments out;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--screenshot" && i + 1 < args.size()) {
      out.screenshot = QDir(args[++i]).absolutePath();
    } else if (out.file.isEmpty() && !args[i].startsWith("-")) {
      out.file = QDir(args[i]).absolutePath();
    } else {
      out.ok = false;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  CViewport::useEditorSurfaceFormat();
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("zmfedit");  // where the settings (recent files) live
  QCoreApplication::setApplicationName("zmfedit");
  const Arguments args = parse(QApplication::arguments());
  if (!args.ok) {
    std::fputs("usage: zmfedit [FILE]\n       zmfedit --screenshot OUT.png [FILE]\n", stderr);
    return 2;
  }
  const std::filesystem::path data = findDataFolder();
  if (data.empty()) {
    std::fputs("zmfedit: no data folder with shaders/ found (set ZMFEDIT_HOME)\n", stderr);
    return 1;
  }
  QDir::setCurrent(QString::fromStdString(data.string()));

  Form1 window(args.file, !args.screenshot.isEmpty(), CEditInterface::kLogFileName);
  int frames = 0;  // drawn so far; lives as long as the window that counts them
  if (!args.screenshot.isEmpty()) {
    QObject::connect(&window, &Form1::frameDrawn, &window, [&] {
      if (++frames != kScreenshotFrames) return;
      QMetaObject::invokeMethod(
          &window,
          [&] {
            const QImage shot = window.viewport().grabFramebuffer();
            const bool saved = shot.save(args.screenshot, "PNG");
            std::fprintf(saved ? stdout : stderr,
                         saved ? "wrote %s\n" : "zmfedit: cannot write %s\n",
                         qPrintable(args.screenshot));
            QCoreApplication::exit(saved ? 0 : 1);
          },
          Qt::QueuedConnection);
    });
  }
  window.show();
  return app.exec();
}
