// The line reader of the ASE importer: a line's tag (its first word) and the values after it.
// Internal to formats/.
#pragma once

#include "formats/ParseAhead.h"
#include "foundation/ZVector.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace ase {

enum class Tag {
  Unknown,
  WireframeColor, Material, SubMaterial, MaterialAmbient, MaterialDiffuse, MaterialSpecular,
  MaterialEmissive, MaterialSelfIllum, MaterialTransparency, MaterialShineStrength,
  MapDiffuse, MapReflect, MapOther, MapAmount, Bitmap,
  GeomObject, CameraObject, LightObject, HelperObject, ShapeObject,
  NodeName, NodeParent, NodeTM, TMRow0, TMRow1, TMRow2, TMPos, TMAnimation,
  MeshVertex, MeshNumFaces, MeshFace, MeshTVert, MeshMappingChannel, MeshTFace,
  MeshFaceNormal, MeshVertexNormal, MaterialRef, PropCastShadow,
  ControlRotKey, ControlPosKey, ControlTCBRotKey, ShapeVertexKnot,
};

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The values of one line after its tag: blank-separated tokens and quoted strings. A missing or
// malformed number reads as 0; nothing here reads past the line.
class AseTokens {
 public:
  explicit AseTokens(std::string_view rest) : text(rest) {}

  std::string_view word() {
    while (cursor < text.size() && isBlank(text[cursor])) ++cursor;
    const size_t start = cursor;
    while (cursor < text.size() && !isBlank(text[cursor])) ++cursor;
    return text.substr(start, cursor - start);
  }
  // Leading digits of the next word ("12:" reads 12).
  int integer() { return toInt(word()); }
  float number();
  ZVector triple() {
    const float x = number();
    const float y = number();
    const float z = number();
    return {x, y, z};
  }
  // Between the next pair of double quotes; an unclosed quote runs to the end of the line.
  std::string quoted() {
    const size_t open = text.find('"', cursor);
    if (open == std::string_view::npos) {
      cursor = text.size();
      return {};
    }
    size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos) {
      close = text.size();
      while (close > open + 1 && isBlank(text[close - 1])) --close;
    }
    cursor = std::min(text.size(), close + 1);
    return std::string(text.substr(open + 1, close - open - 1));
  }
  // The number after a label word such as "A:", written either "A: 5" or "A:5"; 0 when the
  // label is missing.
  int labelled(std::string_view label) {
    for (std::string_view w = word(); !w.empty(); w = word()) {
      if (w.substr(0, label.size()) != label) continue;
      return w.size() > label.size() ? toInt(w.substr(label.size())) : integer();
    }
    return 0;
  }

 private:
  static int toInt(std::string_view w) {
    int value = 0;
    const auto result = std::from_chars(w.data(), w.data() + w.size(), value);
    return result.ec == std::errc() ? value : 0;
  }

  std::string_view text;
  size_t cursor = 0;
};

// Calls visit(line) for every line of text, without its '\n'.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
  size_t pos = 0;
  while (pos < text.size()) {
    const void* newline = std::memchr(text.data() + pos, '\n', text.size() - pos);
    const size_t end =
        newline != nullptr ? size_t(static_cast<const char*>(newline) - text.data()) : text.size();
    visit(text.substr(pos, end - pos));
    pos = end + 1;
  }
}

// The tag of a line (its first word, '*' dropped) and where the values after it start.
std::pair<Tag, size_t> tagOf(std::string_view line);

// Calls visit(tag, tokens, line) for every line of text.
template <typename Visit>
void walkLines(std::string_view text, Visit&& visit) {
  forEachLine(text, [&](std::string_view line) {
    const auto [tag, valuesAt] = tagOf(line);
    AseTokens tokens(line.substr(valuesAt));
    visit(tag, tokens, line);
  });
}

// The tags of the big lists (vertices, faces, texture vertices and faces, normals): nearly every
// line of a big file, so their values are read ahead of the import.
bool isListTag(Tag tag);

// Tags that open a node (geometry, camera, light, helper, shape).
bool startsNode(Tag tag);

// The values of one list line: the leading index and, by tag, three labelled corners (A:, B:,
// C:), three corner indices or a vector (a texture vertex fills x and y).
struct ListValues {
  int32_t index[4] = {};
  ZVector vector;
};

// Fills v in place: a copy of a fresh one stalls on its own stores.
void readListValues(Tag tag, AseTokens& t, ListValues& v);

// What the main pass takes in file order: one list line with its values read, or a run of
// other lines as text (Tag::Unknown). Runs keep a block's records at most one per list line, so
// a file of short junk lines costs no more memory than its text.
struct AseLine {
  Tag tag = Tag::Unknown;
  std::string_view text;
  ListValues values;
};

// Appends a block's records for the main pass.
void readAseLines(std::string_view block, parse_ahead::RecordList<AseLine>& out);

// Texts in UTF-16 (with or without a byte order mark) are narrowed to 8 bits, characters
// beyond Latin-1 becoming '?'; a UTF-8 byte order mark is dropped. Returns the text to walk,
// which may live in storage.
std::string_view decodeText(std::string_view raw, std::string& storage);

}  // namespace ase
