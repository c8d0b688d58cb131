// Where NBINIReader takes a file from when it reads "from the archive". The archive lives in a
// higher subsystem; it implements this interface and is installed here, so that foundation
// never depends on it. The source prefers a real file of the same name over an archive entry.
#pragma once

#include <string>

class ZArchiveSource {
 public:
  // A source that is still installed when destroyed uninstalls itself.
  virtual ~ZArchiveSource();

  // Reads the whole file of that name into bytes (replaced); false when there is none or it
  // cannot be read, bytes then unspecified.
  virtual bool readWholeFile(const std::string& name, std::string& bytes) = 0;
};

// Installs the process-wide source; null uninstalls. Returns the previous one. The caller keeps
// ownership.
ZArchiveSource* setArchiveSource(ZArchiveSource* source);
// The installed source, or null when none is installed.
ZArchiveSource* archiveSource();
