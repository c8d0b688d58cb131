// PZFS archive: many files packed into one, with a table of entries (the "vFat") at its start,
// optionally scrambled so that names and contents are not readable as plain bytes. Layout
// (little-endian):
//   0          6 bytes   magic "ayupan", no terminator
//   6          u32       entry count N
//   10         u8        seed of the scrambling key (CTQCrypto::makeKey)
//   11         520 * N   entry records (SPZFEntry)
//   11 + 520N  ...       file data blocks in entry order, each size bytes at its offset
// With scrambled set, every record and every data block is scrambled on its own (key position 0
// at its start). The header does not say whether an archive is scrambled: reading needs the
// setting it was written with.
//
// Files are opened by name, preferring a real file over an archive entry; installed as the
// process's ZArchiveSource, the archive serves NBINIReader::load(name, true).
#pragma once

#include "archive/CPZFile.h"
#include "archive/CTQCrypto.h"
#include "foundation/ZArchiveSource.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One entry of the table, 520 bytes, the same layout in memory and on disk.
struct SPZFEntry {
  // The file's path exactly as it was added, NUL-terminated; the bytes after the terminator
  // are filler (random in the first 256 bytes).
  char name[512];
  int32_t size;    // length of the file in bytes
  int32_t offset;  // absolute position of the file's data in the archive

  // The name up to its terminator (at most 512 bytes, for records read from outside).
  std::string fileName() const;
};
static_assert(sizeof(SPZFEntry) == 520, "entry records are stored as they are laid out");

class CPZFS : public ZArchiveSource {
 public:
  static constexpr size_t kHeaderSize = 11;
  static constexpr size_t kMaxNameLength = sizeof(SPZFEntry::name) - 1;

  // Seeds the random generator from the clock (once per process), so seeds and filler differ
  // between archives.
  CPZFS();
  // Closes the archive; an archive created but never packed leaves no file.
  ~CPZFS() override;
  CPZFS(const CPZFS&) = delete;
  CPZFS& operator=(const CPZFS&) = delete;

  // Starts a new, empty archive of that name with a new seed. Any existing file of that name is
  // replaced only once pack succeeds. False (logged) when the archive cannot be created.
  bool create(const std::string& archiveName);
  // Appends an entry naming the file at path (stored exactly as given, read when packing).
  // Names longer than 511 bytes are refused: false, logged.
  bool addFile(const std::string& path);
  // Writes the archive in two passes: header and records, the files' data, then header and
  // records again with final sizes and offsets. A file that cannot be read logs "failed" and
  // keeps an empty entry. False when the archive could not be written (any previous file of
  // that name is kept) or when any file could not be read.
  bool pack();

  // Opens an archive for reading and reads its table; the archive stays open for open().
  // False, with an empty table, when it does not open, its magic is wrong, or its table lies
  // past the end of the file (nothing is allocated for what such a table claims). Entries with
  // a negative size or offset, or whose data runs past the end of the file, are logged and
  // kept; they cannot be read, the other entries can.
  bool openArchive(const std::string& archiveName);
  // Opens an archive and extracts every entry below folder ("" for the current folder),
  // creating the folders its names need; "\" and "/" both separate folders. A name that is
  // absolute or holds a ".." component is refused. The first entry that cannot be extracted
  // ends the unpack: false.
  bool unpack(const std::string& archiveName, const std::string& folder = "");
  // The real (regular) file of that name when one exists; else the first entry whose name equals
  // virtualFolderName + name ignoring letter case ("\" and "/" alike); else null. Null also
  // when the matching entry cannot be read (logged).
  std::unique_ptr<CPZFile> open(const std::string& name);
  // open(name) as bytes.
  bool readWholeFile(const std::string& name, std::string& bytes) override;
  // Closes the archive file (an archive created but not packed is discarded); the table stays.
  void close();

  // Whether records and data are scrambled; false after construction.
  void setScrambled(bool value) { scrambled = value; }
  // Prefix joined in front of names looked up in the archive; logged when set.
  void setVirtualFolderName(const std::string& name);

  // The table of the archive last created, opened or unpacked.
  const std::vector<SPZFEntry>& getEntries() const { return entries; }

 private:
  bool writeTable();
  bool readTable();
  // The entry's data, unscrambled; false when it lies outside the archive or cannot be read.
  bool readEntry(const SPZFEntry& entry, std::vector<uint8_t>& bytes);
  bool extract(const SPZFEntry& entry, const std::string& folder);
  // Scrambles a record or data block in place, logging around it.
  void scrambleBlock(std::span<uint8_t> bytes) const;

  uint8_t seed = 0;
  std::vector<SPZFEntry> entries;
  bool scrambled = false;
  std::string key;
  std::string virtualFolderName;
  CTQCrypto crypto;
  FILE* file = nullptr;
  uint64_t archiveSize = 0;  // of the archive open for reading
  std::string archiveName;   // being created
  std::string partName;      // written until pack replaces archiveName with it
};
