// The files of one export, written under their final names into a temporary folder beside the
// target and renamed into place together once all were written, so that a failed export never
// leaves a partial result. The folder goes away with the object, whatever is left in it.
#pragma once

#include <set>
#include <string>
#include <unordered_map>

class ZExportFolder {
 public:
  // target: the main file of the export; its folder receives every file.
  explicit ZExportFolder(const std::string& target);
  ~ZExportFolder();
  ZExportFolder(const ZExportFolder&) = delete;
  ZExportFolder& operator=(const ZExportFolder&) = delete;

  // False (logged) when the temporary folder could not be made.
  bool isOpen() const { return !folder.empty(); }
  // Where the file of that final name is written first.
  std::string pathOf(const std::string& fileName) const;
  // Renames every regular file written into the folder to its final place; false (logged, the
  // files already moved taken back out) when one cannot be moved.
  bool commit();

  // How the export's files name the picture at path: its path relative to the target's folder,
  // or with copy its bare name, the file copied into the export (made unique where two pictures
  // share a name; logged). Empty (logged) when the copy fails.
  std::string pictureReference(const std::string& path, bool copy);

 private:
  std::string destination;  // the target's folder
  std::string folder;       // the temporary folder, empty when it could not be made
  std::unordered_map<std::string, std::string> copies;  // picture path to its copy's name
  std::set<std::string> copyNames;
};
