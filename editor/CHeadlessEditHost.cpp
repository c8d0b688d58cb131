#include "editor/CHeadlessEditHost.h"

#include <system_error>

CHeadlessEditHost::CHeadlessEditHost(const std::filesystem::path& dataFolder,
                                     const std::string& logFileName) {
  std::error_code error;
  previousDirectory = std::filesystem::current_path(error);
  std::filesystem::current_path(dataFolder, error);
  previousDesktop = setDesktopHost(&desktop);
  int32_t width = 0;
  int32_t height = 0;
  CEditInterface::readDisplaySize(width, height);
  desktop.window = {0, 0, width, height};
  context = HeadlessGLContext::create(width, height, &contextError);
  editor = std::make_unique<CEditInterface>(logFileName);
  editor->shell = this;
  editor->windowHandle = static_cast<HWND>(static_cast<GLContext*>(context.get()));
  editor->init();
}

CHeadlessEditHost::~CHeadlessEditHost() {
  editor.reset();
  context.reset();
  setDesktopHost(previousDesktop);
  std::error_code error;
  std::filesystem::current_path(previousDirectory, error);
}

std::vector<uint8_t> CHeadlessEditHost::readPixels() const {
  return context != nullptr ? context->readPixels() : std::vector<uint8_t>();
}
