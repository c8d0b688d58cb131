// PZFS archive bytes from outside, read plain and scrambled: the table reader, open by name and
// unpacking must stay inside the bytes, allocate no more than they hold, and write nothing
// outside the folder they unpack to. The archive is written to and unpacked in a private
// temporary folder.
#include "archive/CPZFS.h"
#include "foundation/ZLog.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

fs::path workFolder;

void removeWorkFolder() {
  std::error_code error;
  fs::remove_all(workFolder, error);
}

// Makes a fresh temporary folder for the whole run and silences the log.
void makeWorkFolder() {
  if (!workFolder.empty()) return;
  std::string pattern = (fs::temp_directory_path() / "pzfs-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  workFolder = pattern;
  std::atexit(removeWorkFolder);
  zlogSetStream(std::fopen("/dev/null", "w"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  makeWorkFolder();
  const std::string archive = (workFolder / "archive.pzfs").string();
  const std::string out = (workFolder / "out").string();
  std::ofstream(archive, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  for (bool scrambled : {false, true}) {
    CPZFS pzfs;
    pzfs.setScrambled(scrambled);
    if (!pzfs.openArchive(archive)) continue;
    for (const SPZFEntry& entry : pzfs.getEntries()) {
      // Names of existing real files would be read from disk instead of the archive.
      const std::string name = entry.fileName();
      std::error_code error;
      if (fs::exists(name, error)) continue;
      const std::unique_ptr<CPZFile> file = pzfs.open(name);
      if (file && file->getSize() > size) __builtin_trap();
    }
    pzfs.unpack(archive, out);
    // Whatever the names say, the work folder holds only the archive and the unpack folder.
    for (const auto& item : fs::directory_iterator(workFolder)) {
      if (item.path() != archive && item.path() != out) __builtin_trap();
    }
    std::error_code error;
    fs::remove_all(out, error);
  }
  return 0;
}
