#include "archive/CPZFS.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/ZReplacingFile.h"

#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// Whole-buffer reads and writes; an empty buffer (whose data() may be null) needs no call.
bool readBytes(FILE* file, std::vector<uint8_t>& bytes) {
  return bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

bool writeBytes(FILE* file, const std::vector<uint8_t>& bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

constexpr char kMagic[6] = {'a', 'y', 'u', 'p', 'a', 'n'};
constexpr size_t kRecordSize = sizeof(SPZFEntry);
constexpr size_t kFillerSize = 256;

void putU32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(value >> (8 * i));
}

uint32_t getU32(const uint8_t* in) {
  return uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) |
         (uint32_t(in[3]) << 24);
}

void encodeRecord(const SPZFEntry& entry, uint8_t* out) {
  std::memcpy(out, entry.name, sizeof(entry.name));
  putU32(out + 512, uint32_t(entry.size));
  putU32(out + 516, uint32_t(entry.offset));
}

SPZFEntry decodeRecord(const uint8_t* in) {
  SPZFEntry entry;
  std::memcpy(entry.name, in, sizeof(entry.name));
  entry.size = int32_t(getU32(in + 512));
  entry.offset = int32_t(getU32(in + 516));
  return entry;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Archive names compare ignoring letter case; content made on Windows writes either separator.
bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (isSeparator(a[i]) && isSeparator(b[i])) continue;
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Whether a name stays below the folder it is extracted to: not absolute (a leading separator
// or a drive letter) and no ".." component.
bool staysInFolder(const std::string& name) {
  if (!name.empty() && isSeparator(name[0])) return false;
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string SPZFEntry::fileName() const { return std::string(name, strnlen(name, sizeof(name))); }

CPZFS::CPZFS() {
  // Once per process: archives made within one second must still differ.
  static const bool seeded = [] {
    std::srand(unsigned(std::chrono::system_clock::now().time_since_epoch().count()));
    return true;
  }();
  (void)seeded;
}

CPZFS::~CPZFS() { close(); }

void CPZFS::close() {
  if (file) std::fclose(file);
  file = nullptr;
  if (!partName.empty()) std::remove(partName.c_str());
  partName.clear();
  archiveSize = 0;
}

void CPZFS::setVirtualFolderName(const std::string& name) {
  virtualFolderName = name;
  zlog("virtualFolderName=%s\n", virtualFolderName.c_str());
}

void CPZFS::scrambleBlock(std::span<uint8_t> bytes) const {
  zlog("encrypting...");
  uint32_t keyPosition = 0;
  CTQCrypto::scramble(bytes, key, keyPosition);
  zlog("done...");
}

bool CPZFS::create(const std::string& name) {
  close();
  entries.clear();
  archiveName = name;
  partName = name + ".part";
  file = std::fopen(partName.c_str(), "wb");
  if (!file) {
    zlog("Error, cannot create %s\n", name.c_str());
    partName.clear();
    return false;
  }
  seed = CTQCrypto::newSeed();
  key = crypto.makeKey(seed);
  return true;
}

bool CPZFS::addFile(const std::string& path) {
  if (path.size() > kMaxNameLength) {
    zlog("Error, name longer than %zu bytes refused: %s\n", kMaxNameLength, path.c_str());
    return false;
  }
  SPZFEntry entry{};
  for (size_t i = 0; i < kFillerSize; ++i) entry.name[i] = char(std::rand());
  std::memcpy(entry.name, path.c_str(), path.size() + 1);
  entries.push_back(entry);
  return true;
}

bool CPZFS::writeTable() {
  std::vector<uint8_t> table(kHeaderSize + kRecordSize * entries.size());
  std::memcpy(table.data(), kMagic, sizeof(kMagic));
  putU32(table.data() + 6, uint32_t(entries.size()));
  table[10] = seed;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::span<uint8_t> record(table.data() + kHeaderSize + i * kRecordSize, kRecordSize);
    encodeRecord(entries[i], record.data());
    if (scrambled) scrambleBlock(record);
  }
  return writeBytes(file, table);
}

bool CPZFS::pack() {
  if (!file || partName.empty()) return false;
  zlog("Writing vFat, pass 1\n");
  bool written = writeTable();
  bool allRead = true;
  for (SPZFEntry& entry : entries) {
    if (!written) break;
    const std::string name = entry.fileName();
    zlog("Archiving %s...", name.c_str());
    std::vector<uint8_t> bytes;
    // Sizes are stored as i32.
    if (!::readWholeFile(name, bytes) || bytes.size() > size_t(INT32_MAX)) {
      zlog("failed\n");
      allRead = false;
      continue;
    }
    // Offsets are stored as i32 too.
    const off_t at = ftello(file);
    written = at >= 0 && at <= INT32_MAX;
    if (written) {
      entry.offset = int32_t(at);
      entry.size = int32_t(bytes.size());
      if (scrambled) scrambleBlock(bytes);
      written = writeBytes(file, bytes);
    }
    zlog(written ? "ok\n" : "failed\n");
  }
  if (written) {
    zlog("Writing vFat, pass 2\n");
    written = fseeko(file, 0, SEEK_SET) == 0 && writeTable();
  }
  if (written) {
    written = ZReplacingFile::replaceTarget(file, partName, archiveName);
  } else {
    std::fclose(file);
    file = nullptr;
  }
  if (written) {
    partName.clear();
  } else {
    zlog("Error, cannot write %s\n", archiveName.c_str());
    close();  // removes the part file
  }
  return written && allRead;
}

bool CPZFS::openArchive(const std::string& name) {
  close();
  entries.clear();
  const std::string path = resolveFileName(name);
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    file = std::fopen(path.c_str(), "rb");
  }
  if (!file) {
    zlog("Error, cannot open %s\n", name.c_str());
    return false;
  }
  archiveSize = uint64_t(info.st_size);
  if (!readTable()) {
    close();
    return false;
  }
  return true;
}

bool CPZFS::readTable() {
  zlog("Reading vFat...");
  uint8_t header[kHeaderSize];
  const size_t got = std::fread(header, 1, kHeaderSize, file);
  if (got < sizeof(kMagic) || std::memcmp(header, kMagic, sizeof(kMagic)) != 0) {
    zlog("Error, this is not a valid pZFS archive\n");
    return false;
  }
  const uint32_t count = got == kHeaderSize ? getU32(header + 6) : 0;
  // The count is checked against the bytes there are before anything is allocated for it.
  if (got < kHeaderSize || count > (archiveSize - kHeaderSize) / kRecordSize) {
    zlog("Error, the vFat does not fit in the archive\n");
    return false;
  }
  seed = header[10];
  key = crypto.makeKey(seed);
  std::vector<uint8_t> table(size_t(count) * kRecordSize);
  if (!readBytes(file, table)) {
    zlog("Error, the vFat does not fit in the archive\n");
    return false;
  }
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const std::span<uint8_t> record(table.data() + i * kRecordSize, kRecordSize);
    uint32_t keyPosition = 0;
    if (scrambled) CTQCrypto::unscramble(record, key, keyPosition);
    const SPZFEntry entry = decodeRecord(record.data());
    // Broken entries stay in the table and fail only when read, so that the others still load.
    if (entry.offset < 0 || entry.size < 0) {
      zlog("Error f->offset<0 || f->size<0 %s\n", entry.fileName().c_str());
    } else if (uint64_t(entry.offset) + uint64_t(entry.size) > archiveSize) {
      zlog("Error, %s lies past the end of the archive\n", entry.fileName().c_str());
    }
    entries.push_back(entry);
  }
  zlog("ok\n");
  return true;
}

bool CPZFS::readEntry(const SPZFEntry& entry, std::vector<uint8_t>& bytes) {
  if (!file || entry.offset < 0 || entry.size < 0 ||
      uint64_t(entry.offset) + uint64_t(entry.size) > archiveSize ||
      fseeko(file, entry.offset, SEEK_SET) != 0) {
    return false;
  }
  bytes.resize(size_t(entry.size));
  if (!readBytes(file, bytes)) return false;
  uint32_t keyPosition = 0;
  if (scrambled) CTQCrypto::unscramble(bytes, key, keyPosition);
  return true;
}

bool CPZFS::unpack(const std::string& name, const std::string& folder) {
  if (!openArchive(name)) return false;
  for (const SPZFEntry& entry : entries) {
    if (!extract(entry, folder)) return false;
  }
  return true;
}

bool CPZFS::extract(const SPZFEntry& entry, const std::string& folder) {
  const std::string name = entry.fileName();
  zlog("Extracting %s...", name.c_str());
  if (!staysInFolder(name)) {
    zlog("refused, the name leaves the target folder\n");
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!readEntry(entry, bytes)) {
    zlog("failed\n");
    return false;
  }
  std::string path = folder.empty() ? name : folder + "/" + name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    const size_t separator = path.rfind('/');
    if (separator == std::string::npos) {
      zlog("failed\n");
      return false;
    }
    const std::string parent = path.substr(0, separator);
    zlog("\nCreating folder %s...", parent.c_str());
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) {
      zlog("failed\n");
      return false;
    }
    zlog("ok\n");
    out = std::fopen(path.c_str(), "wb");
    if (!out) {
      zlog("failed\n");
      return false;
    }
  }
  bool written = writeBytes(out, bytes);
  written = std::fclose(out) == 0 && written;
  if (!written) {
    std::remove(path.c_str());
    zlog("failed\n");
    return false;
  }
  zlog("ok\n");
  return true;
}

std::unique_ptr<CPZFile> CPZFS::open(const std::string& name) {
  std::vector<uint8_t> bytes;
  if (::readWholeFile(name, bytes)) {
    zlog("PZFS: Using real file for %s\n", name.c_str());
    return std::make_unique<CPZFile>(std::move(bytes));
  }
  const std::string lookup = virtualFolderName + name;
  for (const SPZFEntry& entry : entries) {
    if (!sameName(entry.fileName(), lookup)) continue;
    if (!readEntry(entry, bytes)) {
      zlog("PZFS: cannot read %s\n", lookup.c_str());
      return nullptr;
    }
    return std::make_unique<CPZFile>(std::move(bytes));
  }
  return nullptr;
}

bool CPZFS::readWholeFile(const std::string& name, std::string& bytes) {
  const std::unique_ptr<CPZFile> opened = open(name);
  if (!opened) return false;
  bytes.assign(opened->getData().begin(), opened->getData().end());
  return true;
}
