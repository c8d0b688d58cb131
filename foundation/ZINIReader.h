// Reader of INI-style configuration text. Lookups follow rules that stored files depend on:
// - the section is the first "[section]" (case-sensitive); its body runs to the next "[";
// - a key is found by plain substring search in the body, so "X" also matches inside "MAX"
//   when that line comes first;
// - the value runs from the first "=" after the key up to the next "\r", untrimmed; without a
//   "\r" (bare line-feed files) it runs to the end of the body;
// - a key that is not in the body yields the whole body; an absent section an empty string.
// There is no comment syntax, escaping or quoting.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

class ZINIReader {
 public:
  virtual ~ZINIReader() = default;

  // Reads the whole file into text (up to its first NUL byte) and sets loaded; a file that
  // does not open sets loaded false and leaves text unchanged.
  void load(const std::string& fileName);

  std::string getString(const std::string& section, const std::string& key) const;
  // atof of getString: leading blanks skipped, 0 when no number starts there.
  float getFloat(const std::string& section, const std::string& key) const;
  // atoi of getString.
  int getInt(const std::string& section, const std::string& key) const;
  // "x,y,z": each part atof; a missing part is 0. Values are read up to 255 characters.
  void getVector3(const std::string& section, const std::string& key, float& x, float& y,
                  float& z) const;

  // The lookups index the section headers at their first call: set text before that.
  std::string text;
  bool loaded = false;

 protected:
  // Reads a file's bytes into text; false when it does not open.
  bool readFile(const std::string& fileName);
  // Sets text from a file read another way.
  void setText(std::string content) {
    text = std::move(content);
    indexedSize = size_t(-1);
  }

 private:
  // Where the first "[section]" starts, as text.find would say, in about constant time: every
  // header name of up to kIndexedNameLength characters is indexed at the first lookup, so that a
  // file of many sections is read in linear time. Longer names are searched for.
  size_t findHeader(const std::string& section) const;
  static constexpr size_t kIndexedNameLength = 256;
  mutable std::unordered_map<std::string_view, size_t> headerIndex;
  mutable size_t indexedSize = size_t(-1);
};
