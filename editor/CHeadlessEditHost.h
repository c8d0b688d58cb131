// The editor core without a window: an EGL context of the size "zmfedit.ini" asks for (1024 x 768
// without one), the headless desktop (keys, mouse, clock and message boxes set and read by the
// caller), and the shell's call-backs recorded. The data folder is the current directory while
// the host lives, as the window shell makes it. For tests and the command-line tool.
#pragma once

#include "editor/CEditInterface.h"
#include "editor/IEditShell.h"
#include "platform/HeadlessDesktop.h"
#include "platform/gl/HeadlessGLContext.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class CHeadlessEditHost : public IEditShell {
 public:
  // Enters dataFolder, installs the desktop, makes the context and the core and runs init. Without
  // a GL context (reason in contextError) the core still starts, without a device, as the
  // editor does when its renderer cannot be created. logFileName as for CEditInterface.
  explicit CHeadlessEditHost(const std::filesystem::path& dataFolder,
                             const std::string& logFileName = "");
  // The core first, then the context; the previous desktop and directory back.
  ~CHeadlessEditHost() override;
  CHeadlessEditHost(const CHeadlessEditHost&) = delete;
  CHeadlessEditHost& operator=(const CHeadlessEditHost&) = delete;

  void updateTree() override { ++treeUpdates; }
  void selectionChanged(ZGeometry* geometry) override { selections.push_back(geometry); }
  void refChanged(const std::string& name) override { refChanges.push_back(name); }
  void setProgress(int32_t percent) override { progress.push_back(percent); }

  // The back buffer, top row first, RGBA; empty without a context.
  std::vector<uint8_t> readPixels() const;

  HeadlessDesktop desktop{false};
  std::unique_ptr<HeadlessGLContext> context;
  std::string contextError;
  std::unique_ptr<CEditInterface> editor;

  int treeUpdates = 0;
  std::vector<ZGeometry*> selections;
  std::vector<std::string> refChanges;
  std::vector<int32_t> progress;

 private:
  DesktopHost* previousDesktop = nullptr;
  std::filesystem::path previousDirectory;
};
