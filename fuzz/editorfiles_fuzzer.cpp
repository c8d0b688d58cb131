// The editor's exchange files come from users and other tools: the dummies file, the track
// reference file, the camera file and the PZC camera file. Importing any text must end, create
// no more records or cameras than the text has sections, and never read outside it. The input's
// first byte picks the reader (its value modulo 4), the rest is the file.
#include "editor/CEditInterface.h"
#include "fuzz/QuietHost.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

// Count of "[" in text: an upper bound on the sections a reader may take records from.
size_t openings(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += c == '[';
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  host.desktop.messages.clear();
  if (size == 0) return 0;
  static const std::string path = "/tmp/editorfiles-fuzz-" + std::to_string(getpid()) + ".txt";
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  CEditInterface editor("");
  editor.initPhysicRefs();
  const size_t refs = editor.physicRefs.size();
  switch (data[0] % 4) {
    case 0:
      editor.importPhysicRefs(path);
      if (editor.physicRefs.size() > refs + openings(text)) __builtin_trap();
      break;
    case 1:
      editor.importPhysicRefsTR(path);
      if (editor.physicRefs.size() != refs) __builtin_trap();
      break;
    case 2:
      editor.importCameras(path);
      if (editor.cameraList.size() > openings(text)) __builtin_trap();
      break;
    default:
      editor.importPZC(path);
      if (editor.cameraList.size() > openings(text)) __builtin_trap();
      break;
  }
  return 0;
}
