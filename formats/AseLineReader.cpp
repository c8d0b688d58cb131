#include "formats/AseLineReader.h"

#include "foundation/ZParse.h"

#include <array>
#include <initializer_list>
#include <vector>

namespace ase {

namespace {

// Tags by length: a line's first word is compared only with the few tags of its length, which
// beats hashing it (this lookup runs once per line).
class TagTable {
 public:
  TagTable(std::initializer_list<std::pair<std::string_view, Tag>> tags) {
    for (const auto& entry : tags) byLength.at(entry.first.size()).push_back(entry);
  }
  Tag find(std::string_view word) const {
    if (word.size() >= byLength.size()) return Tag::Unknown;
    for (const auto& [name, tag] : byLength[word.size()]) {
      if (sameFromTheEnd(name, word)) return tag;
    }
    return Tag::Unknown;
  }

 private:
  // Equal-length words; tags of one family share their start ("MESH_T..."), so the end
  // tells them apart sooner.
  static bool sameFromTheEnd(std::string_view a, std::string_view b) {
    for (size_t i = a.size(); i-- > 0;) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }

  std::array<std::vector<std::pair<std::string_view, Tag>>, 24> byLength;
};

// Tags this importer acts on. MATERIAL_SHADING, TM_SCALE, TM_ROTAXIS, TM_ROTANGLE,
// MESH_SMOOTHING and PROP_RECVSHADOW carry nothing the engine keeps, so they are skipped like
// any other tag.
const TagTable& tagTable() {
  static const TagTable table = {
      {"WIREFRAME_COLOR", Tag::WireframeColor},
      {"MATERIAL", Tag::Material},
      {"SUBMATERIAL", Tag::SubMaterial},
      {"MATERIAL_AMBIENT", Tag::MaterialAmbient},
      {"MATERIAL_DIFFUSE", Tag::MaterialDiffuse},
      {"MATERIAL_SPECULAR", Tag::MaterialSpecular},
      {"MATERIAL_EMISSIVE", Tag::MaterialEmissive},
      {"MATERIAL_SELFILLUM", Tag::MaterialSelfIllum},
      {"MATERIAL_TRANSPARENCY", Tag::MaterialTransparency},
      {"MATERIAL_SHINESTRENGTH", Tag::MaterialShineStrength},
      {"MAP_DIFFUSE", Tag::MapDiffuse},
      {"MAP_REFLECT", Tag::MapReflect},
      // Maps the engine has no stage for: their bitmaps must not land on the base stage.
      {"MAP_AMBIENT", Tag::MapOther},
      {"MAP_SPECULAR", Tag::MapOther},
      {"MAP_SHINE", Tag::MapOther},
      {"MAP_SHINESTRENGTH", Tag::MapOther},
      {"MAP_SELFILLUM", Tag::MapOther},
      {"MAP_OPACITY", Tag::MapOther},
      {"MAP_FILTERCOLOR", Tag::MapOther},
      {"MAP_BUMP", Tag::MapOther},
      {"MAP_REFRACT", Tag::MapOther},
      {"MAP_GENERIC", Tag::MapOther},
      {"MAP_AMOUNT", Tag::MapAmount},
      {"BITMAP", Tag::Bitmap},
      {"GEOMOBJECT", Tag::GeomObject},
      {"CAMERAOBJECT", Tag::CameraObject},
      {"LIGHTOBJECT", Tag::LightObject},
      {"HELPEROBJECT", Tag::HelperObject},
      {"SHAPEOBJECT", Tag::ShapeObject},
      {"NODE_NAME", Tag::NodeName},
      {"NODE_PARENT", Tag::NodeParent},
      {"NODE_TM", Tag::NodeTM},
      {"TM_ROW0", Tag::TMRow0},
      {"TM_ROW1", Tag::TMRow1},
      {"TM_ROW2", Tag::TMRow2},
      {"TM_POS", Tag::TMPos},
      {"TM_ANIMATION", Tag::TMAnimation},
      {"MESH_VERTEX", Tag::MeshVertex},
      {"MESH_NUMFACES", Tag::MeshNumFaces},
      {"MESH_FACE", Tag::MeshFace},
      {"MESH_TVERT", Tag::MeshTVert},
      {"MESH_MAPPINGCHANNEL", Tag::MeshMappingChannel},
      {"MESH_TFACE", Tag::MeshTFace},
      {"MESH_FACENORMAL", Tag::MeshFaceNormal},
      {"MESH_VERTEXNORMAL", Tag::MeshVertexNormal},
      {"MATERIAL_REF", Tag::MaterialRef},
      {"PROP_CASTSHADOW", Tag::PropCastShadow},
      {"CONTROL_ROT_KEY", Tag::ControlRotKey},
      {"CONTROL_POS_KEY", Tag::ControlPosKey},
      {"CONTROL_TCB_ROT_KEY", Tag::ControlTCBRotKey},
      {"SHAPE_VERTEX_KNOT", Tag::ShapeVertexKnot},
  };
  return table;
}

}  // namespace

float AseTokens::number() {
  std::string_view w = word();
  if (!w.empty() && w.front() == '+') w.remove_prefix(1);
  float value = 0;
  const auto result = parseFloat(w.data(), w.data() + w.size(), value);
  return result.ec == std::errc() ? value : 0.0f;
}

std::pair<Tag, size_t> tagOf(std::string_view line) {
  size_t start = 0;
  while (start < line.size() && isBlank(line[start])) ++start;
  if (start < line.size() && line[start] == '*') ++start;
  size_t stop = start;
  while (stop < line.size() && !isBlank(line[stop])) ++stop;
  return {tagTable().find(line.substr(start, stop - start)), stop};
}

bool isListTag(Tag tag) {
  switch (tag) {
    case Tag::MeshVertex:
    case Tag::MeshFace:
    case Tag::MeshTVert:
    case Tag::MeshTFace:
    case Tag::MeshFaceNormal:
    case Tag::MeshVertexNormal: return true;
    default: return false;
  }
}

bool startsNode(Tag tag) {
  return tag == Tag::GeomObject || tag == Tag::CameraObject || tag == Tag::LightObject ||
         tag == Tag::HelperObject || tag == Tag::ShapeObject;
}

void readListValues(Tag tag, AseTokens& t, ListValues& v) {
  v.index[0] = t.integer();
  if (tag == Tag::MeshFace) {
    v.index[1] = t.labelled("A:");
    v.index[2] = t.labelled("B:");
    v.index[3] = t.labelled("C:");
  } else if (tag == Tag::MeshTFace) {
    for (int k = 1; k < 4; ++k) v.index[k] = t.integer();
  } else if (tag == Tag::MeshTVert) {
    v.vector.x = t.number();
    v.vector.y = t.number();
  } else if (tag != Tag::MeshFaceNormal) {
    v.vector = t.triple();
  }
}

void readAseLines(std::string_view block, parse_ahead::RecordList<AseLine>& out) {
  const char* runBegin = nullptr;
  const char* runEnd = nullptr;
  auto endRun = [&] {
    if (runBegin == nullptr) return;
    out.emplace_back().text = std::string_view(runBegin, size_t(runEnd - runBegin));
    runBegin = nullptr;
  };
  forEachLine(block, [&](std::string_view line) {
    const auto [tag, valuesAt] = tagOf(line);
    if (!isListTag(tag)) {
      if (runBegin == nullptr) runBegin = line.data();
      runEnd = line.data() + line.size();
      return;
    }
    endRun();
    AseLine& read = out.emplace_back();
    read.tag = tag;
    AseTokens tokens(line.substr(valuesAt));
    readListValues(tag, tokens, read.values);
  });
  endRun();
}

std::string_view decodeText(std::string_view raw, std::string& storage) {
  if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") return raw.substr(3);
  if (raw.size() < 2) return raw;
  bool little;
  size_t start = 0;
  if (raw[0] == '\xFF' && raw[1] == '\xFE') {
    little = true;
    start = 2;
  } else if (raw[0] == '\xFE' && raw[1] == '\xFF') {
    little = false;
    start = 2;
  } else if (raw[0] != 0 && raw[1] == 0) {
    little = true;
  } else if (raw[0] == 0 && raw[1] != 0) {
    little = false;
  } else {
    return raw;
  }
  storage.clear();
  storage.reserve((raw.size() - start) / 2);
  for (size_t i = start; i + 1 < raw.size(); i += 2) {
    const unsigned lo = uint8_t(raw[little ? i : i + 1]);
    const unsigned hi = uint8_t(raw[little ? i + 1 : i]);
    const unsigned unit = hi << 8 | lo;
    storage.push_back(unit <= 0xFF ? char(unit) : '?');
  }
  return storage;
}

}  // namespace ase
