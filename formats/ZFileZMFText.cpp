// ZMT, the line-oriented text twin of ZMF: "LABEL=value" lines and blocks opened by ">NAME<"
// lines, read back with strtok rules (see TextTokenizer).
#include "formats/TextTokenizer.h"
#include "formats/ZFileZMF.h"
#include "formats/StageFields.h"
#include "foundation/ZFileName.h"
#include "foundation/ZHugePages.h"
#include "foundation/ZLog.h"
#include "foundation/ZMappedFile.h"
#include "foundation/ZParse.h"
#include "foundation/ZReplacingFile.h"
#include "platform/desktop.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace {

constexpr std::string_view kMagic = "tq667";
constexpr int kTextVersion = 2;
// Lines end with CR LF, as the format's files always have; the reader takes CR, LF or both.
constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kLine = "\r\n";  // delimiters of a whole-line token


// ---- Writing. Numbers come out as "%d" and "%f" print them in the "C" locale, but without
// printf: a GUI host may switch the process to a locale with decimal commas.

void putInt(std::string& out, int value) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

// "%f" of a float. A float times 10^6 is exact in a double (24 + 14 significant bits), so
// rounding that product to an integer (to nearest, ties to even, as printf rounds the exact
// value) gives printf's digits without its general conversion.
void putFloat(std::string& out, float value) {
  const double scaled = std::fabs(double(value)) * 1e6;
  if (!(scaled < 9e15)) {
    char text[64];  // the largest float has 39 integer digits
    const auto result =
        std::to_chars(text, text + sizeof text, double(value), std::chars_format::fixed, 6);
    out.append(text, result.ptr);
    return;
  }
  const auto micro = static_cast<uint64_t>(std::nearbyint(scaled));
  char text[32];
  char* end = text + sizeof text;
  char* p = end;
  uint64_t rest = micro;
  for (int digit = 0; digit < 6; ++digit, rest /= 10) *--p = char('0' + rest % 10);
  *--p = '.';
  do {
    *--p = char('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (std::signbit(value)) *--p = '-';
  out.append(p, end);
}

// A value the reader takes back whole: a line break would split it and an empty value would
// be skipped, so breaks become blanks and an empty value is written as one blank.
void putText(std::string& out, std::string_view value) {
  if (value.empty()) {
    out += ' ';
    return;
  }
  for (char c : value) out += c == '\r' || c == '\n' ? ' ' : c;
}

void line(std::string& out, std::string_view text) {
  out += text;
  out += kEol;
}

void intLine(std::string& out, const char* label, int value) {
  out += label;
  out += '=';
  putInt(out, value);
  out += kEol;
}

void floatsLine(std::string& out, const char* label, std::initializer_list<float> values) {
  out += label;
  out += '=';
  const char* separator = "";
  for (float v : values) {
    out += separator;
    putFloat(out, v);
    separator = " ";
  }
  out += kEol;
}

void vectorLine(std::string& out, const char* label, const ZVector& v) {
  floatsLine(out, label, {v.x, v.y, v.z});
}

void colourLine(std::string& out, const char* label, const D3DCOLORVALUE& c) {
  floatsLine(out, label, {c.r, c.g, c.b, c.a});
}

void textLine(std::string& out, const char* label, std::string_view value) {
  out += label;
  out += '=';
  putText(out, value);
  out += kEol;
}

void writeTextMaterial(std::string& out, const ZMaterial& m) {
  line(out, "");
  line(out, ">MATERIAL<");
  const D3DMATERIAL9& c = m.d3dMaterial;
  colourLine(out, "DIFFUSE", c.Diffuse);
  colourLine(out, "AMBIENT", c.Ambient);
  colourLine(out, "SPECULAR", c.Specular);
  colourLine(out, "EMISSIVE", c.Emissive);
  floatsLine(out, "SPECULARESPONENT", {c.Power});
  intLine(out, "DOUBLEFACE", m.doubleFace);
  intLine(out, "ALPHABLENDENABLE", m.alphaBlend);
  intLine(out, "ALPHADESTBLEND", m.alphaDestBlend);
  intLine(out, "ALPHAREF", m.alphaRef);
  intLine(out, "ALPHASRCBLEND", m.alphaSrcBlend);
  intLine(out, "ALPHATESTENABLE", m.alphaTest);
  intLine(out, "FORCENODEPTHWRITE", m.forceNoDepthWrite);
  intLine(out, "USEZBUFFER", m.useZBuffer);
  for (int i = 0; i < 8; ++i) {
    out += ">STAGE";
    putInt(out, i);
    line(out, "<");
    const ZMaterialStage& s = m.stage(i);
    intLine(out, "PRESENT", s.texture != nullptr);
    if (s.texture == nullptr) continue;
    intLine(out, "ACTIVE", s.active);
    for (const auto& [fieldLabel, field] : kStageFields) intLine(out, fieldLabel, s.*field);
    floatsLine(out, "textureFactor", {m.textureFactor});
    textLine(out, "TEXTURE", s.texture->name);
  }
  textLine(out, "EFFECT", m.effectName.empty() ? "NONE" : m.effectName);
  for (const auto& variable : m.effectVars) {
    line(out, ">VAR<");
    textLine(out, "NAME", variable->name);
    floatsLine(out, "VALUE", {variable->value});
  }
  line(out, ">ENDVARS<");
}

// Hands the text written so far to the file once it passes `above` bytes, keeping the buffer's
// memory: a big model is never held whole as text.
void drain(std::string& out, ZReplacingFile& file, size_t above) {
  if (out.size() <= above) return;
  file.write(out.data(), out.size());
  out.clear();
}

constexpr size_t kChunk = 1 << 20;

void writeTextGeometry(std::string& out, ZReplacingFile& file, const ZGeometry& g,
                       int32_t material) {
  line(out, "");
  line(out, ">GEOMETRY<");
  textLine(out, "NAME", g.name);
  line(out, "");
  intLine(out, "TRANSPARENT", g.transparent);
  intLine(out, "CASTSHADOW", g.castShadow);
  intLine(out, "MATERIAL", material);
  intLine(out, "VERTICES", int(g.vertices.size()));
  int index = 0;
  for (const SVertex& v : g.vertices) {
    putInt(out, index++);
    for (float value : {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y,
                        v.normal.z, v.tangent.x, v.tangent.y, v.tangent.z, v.t0[0], v.t0[1],
                        v.t1[0], v.t1[1]}) {
      out += ' ';
      putFloat(out, value);
    }
    out += kEol;
    drain(out, file, kChunk);
  }
  // A face naming no vertex of the mesh is never drawn; it is not written either.
  const auto usable = std::count_if(g.faces.begin(), g.faces.end(),
                                    [&g](const SFace& f) { return g.isFaceInRange(f); });
  intLine(out, "FACES", int(usable));
  index = 0;
  for (const SFace& f : g.faces) {
    if (!g.isFaceInRange(f)) continue;
    putInt(out, index++);
    for (int corner : {f.a, f.b, f.c}) {
      out += ' ';
      putInt(out, corner);
    }
    for (float value :
         {f.binormal.x, f.binormal.y, f.binormal.z, f.normal.x, f.normal.y, f.normal.z}) {
      out += ' ';
      putFloat(out, value);
    }
    out += kEol;
    drain(out, file, kChunk);
  }
  intLine(out, "VARS", int(g.vars.size()));
  for (const SGeometryVar& variable : g.vars) {
    line(out, ">VAR<");
    textLine(out, "NAME", variable.name);
    floatsLine(out, "VALUE", {variable.value});
  }
}

// ---- Reading. Every field reader takes its label first; a missing token leaves the tokenizer
// failed and the value 0, and the record readers test failed() before using what they read.
// Values end at CR as well as LF, so files with any of the three line ends read alike.

bool endOfText() {
  zlog("ZMT ERROR: unexpected end of file\n");
  return false;
}

void printToken(const char* format, std::string_view token) {
  zlog(format, int(token.size()), token.data());
}

void label(TextTokenizer& in, const char* expected) {
  const std::string_view found = in.next("=\r\n");
  if (in.failed() || found == expected) return;
  zlog("ZMT ERROR: Expected label %s, but found %.*s\n", expected, int(found.size()),
       found.data());
}

int readInt(TextTokenizer& in, const char* name) {
  label(in, name);
  return cvAtoi(in.next("\r\n"));
}

float readFloat(TextTokenizer& in, const char* name) {
  label(in, name);
  return float(cvAtof(in.next(" \r\n")));
}

ZVector readVector(TextTokenizer& in, const char* name) {
  label(in, name);
  const float x = float(cvAtof(in.next(" ")));
  const float y = float(cvAtof(in.next(" ")));
  const float z = float(cvAtof(in.next("\n\r ")));
  return {x, y, z};
}

D3DCOLORVALUE readColour(TextTokenizer& in, const char* name) {
  label(in, name);
  D3DCOLORVALUE c;
  c.r = float(cvAtof(in.next(" ")));
  c.g = float(cvAtof(in.next(" ")));
  c.b = float(cvAtof(in.next(" ")));
  c.a = float(cvAtof(in.next("\n\r ")));
  return c;
}

// The rest of the line; the one blank that stands for an empty value reads back as empty.
std::string readString(TextTokenizer& in, const char* name) {
  label(in, name);
  const std::string_view value = in.next(kLine);
  return value == " " ? std::string() : std::string(value);
}

// The next number of a vertex or face line.
std::string_view number(TextTokenizer& in) { return in.next(" \r\n"); }

// A section line; false (logged) when it is missing or another line stands there.
bool section(TextTokenizer& in, std::string_view expected) {
  const std::string_view found = in.next(kLine);
  if (in.failed()) return endOfText();
  if (found == expected) return true;
  const std::string_view bare = expected.substr(1, expected.size() - 2);
  zlog("ZMT ERROR: %.*s NOT FOUND\n", int(bare.size()), bare.data());
  return false;
}

}  // namespace

bool ZFileZMF::saveText(const std::string& name, ZFrame* from) {
  materials.clear();
  frames.clear();
  collect(from);
  if (!checkSavable()) return false;
  ZReplacingFile file(name);
  std::string out;
  line(out, kMagic);
  intLine(out, "VERSION", kTextVersion);
  line(out, "");
  line(out, ">HEADER<");
  vectorLine(out, "SUNPOSITION", sunPosition);
  vectorLine(out, "AMBIENTLIGHT", ambientLight);
  vectorLine(out, "SUNDIFFUSE", sunDiffuse);
  line(out, ">MATERIAL_LIST<");
  intLine(out, "COUNT", int(materials.size()));
  for (const ZMaterial* m : materials) writeTextMaterial(out, *m);
  line(out, "");
  line(out, ">FRAMELIST<");
  intLine(out, "COUNT", int(frames.size()));
  for (const ZFrame* f : frames) {
    line(out, "");
    line(out, ">FRAME<");
    textLine(out, "NAME", f->name);
    vectorLine(out, "POSITION", f->getPosition());
    vectorLine(out, "HEADING", f->getHeading());
    vectorLine(out, "UP", f->getUp());
    intLine(out, "PARENT", frameIndex(f->parent));
    intLine(out, "GEOMETRIES", int(f->geometries.size()));
    for (const ZGeometry* g : f->geometries) {
      writeTextGeometry(out, file, *g, materialIndex(g->material));
    }
  }
  drain(out, file, 0);
  if (!file.commit()) {
    zlog("ZMT ERROR: cannot write %s\n", name.c_str());
    return false;
  }
  return true;
}

bool ZFileZMF::loadText(const std::string& name, ZFrame* target) {
  fileName = name;
  ZMappedFile file;
  if (!file.open(name)) {
    zlog("Load ZMT %s\n", name.c_str());
    zlog("ZMT ERROR: cannot read %s\n", name.c_str());
    return false;
  }
  return loadTextBytes(file.text(), target);
}

bool ZFileZMF::loadTextBytes(std::string_view text, ZFrame* target) {
  const uint32_t startMs = GetTickCount();
  zlog("Load ZMT %s\n", fileName.c_str());
  root = target;
  hasRoot = target != nullptr;
  progress = 0;
  report("loading " + fileName + "...");
  materials.clear();
  frames.clear();
  resolvedTextures.clear();
  TextTokenizer in(text);
  if (in.next(kLine) != kMagic) {
    zlog("ZMT ERROR: not a valid ZMT file\n");
    return false;
  }
  version = readInt(in, "VERSION");
  if (in.failed()) return endOfText();
  zlog("VERSION: %d\n", int(version));

  if (!section(in, ">HEADER<")) return false;
  sunPosition = readVector(in, "SUNPOSITION");
  ambientLight = readVector(in, "AMBIENTLIGHT");
  sunDiffuse = readVector(in, "SUNDIFFUSE");

  if (!section(in, ">MATERIAL_LIST<")) return false;
  const int materialCount = readInt(in, "COUNT");
  // Counts are never trusted for sizes: every record consumes text, so a count larger than the
  // file ends at the end of the text.
  const float materialStep = materialCount > 0 ? 70.0f / float(materialCount) : 0;
  for (int i = 0; i < materialCount; ++i) {
    if (!readTextMaterial(in)) return endOfText();
    progress += materialStep;
    report("loading materials...");
  }

  if (!section(in, ">FRAMELIST<")) return false;
  const int frameCount = readInt(in, "COUNT");
  const float frameShare = frameCount > 0 ? 30.0f / float(frameCount) : 0;
  bool whole = true;
  for (int i = 0; i < frameCount && !in.failed(); ++i) {
    whole = readTextFrame(in, frameShare) && whole;
  }
  if (in.failed()) return endOfText();
  if (root != nullptr) logLoaded(startMs);
  return whole;
}

bool ZFileZMF::readTextMaterial(TextTokenizer& in) {
  zlog("Loading material\n");
  const std::string_view opening = in.next(kLine);
  if (in.failed()) return false;
  if (opening != ">MATERIAL<") zlog("ZMT ERROR: MATERIAL NOT FOUND\n");
  ZMaterial* m = renderer->getNewMaterial();
  D3DMATERIAL9& c = m->d3dMaterial;
  c.Diffuse = readColour(in, "DIFFUSE");
  c.Ambient = readColour(in, "AMBIENT");
  c.Specular = readColour(in, "SPECULAR");
  c.Emissive = readColour(in, "EMISSIVE");
  c.Power = readFloat(in, "SPECULARESPONENT");
  m->doubleFace = readInt(in, "DOUBLEFACE") != 0;
  m->alphaBlend = readInt(in, "ALPHABLENDENABLE") != 0;
  m->alphaDestBlend = readInt(in, "ALPHADESTBLEND");
  m->alphaRef = uint8_t(std::clamp(readInt(in, "ALPHAREF"), 0, 255));
  m->alphaSrcBlend = readInt(in, "ALPHASRCBLEND");
  m->alphaTest = readInt(in, "ALPHATESTENABLE") != 0;
  m->forceNoDepthWrite = readInt(in, "FORCENODEPTHWRITE") != 0;
  m->useZBuffer = readInt(in, "USEZBUFFER") != 0;
  for (int i = 0; i < 8; ++i) {
    const std::string_view opened = in.next(kLine);
    if (in.failed()) return false;
    printToken("Loading stage %.*s\n", opened);
    char expected[16];
    std::snprintf(expected, sizeof expected, ">STAGE%d<", i);
    if (opened != expected) {
      zlog("ZMT ERROR: Expected label %s, but found %.*s\n", expected, int(opened.size()),
           opened.data());
    }
    if (readInt(in, "PRESENT") == 0) continue;
    ZMaterialStage& s = m->stage(i);
    s.active = readInt(in, "ACTIVE") != 0;
    for (const auto& [fieldLabel, field] : kStageFields) s.*field = readInt(in, fieldLabel);
    m->textureFactor = readFloat(in, "textureFactor");
    const std::string stored = readString(in, "TEXTURE");
    if (in.failed()) return false;
    const std::string_view bare = fileNameOf(stored);
    if (bare.empty() || bare == "NULL") continue;
    attachTexture(s, stored);
  }
  const std::string effect = readString(in, "EFFECT");
  if (in.failed()) return false;
  zlog("Setting effect %s\n", effect.c_str());
  if (!effect.empty() && effect != "NONE") m->initEffect(effect);
  for (;;) {
    const std::string_view opened = in.next(kLine);
    if (in.failed()) return false;
    if (opened == ">ENDVARS<") break;
    if (opened != ">VAR<") printToken("ZMT ERROR: %.*s NOT FOUND\n", opened);
    const std::string variable = readString(in, "NAME");
    const float value = readFloat(in, "VALUE");
    if (in.failed()) return false;
    zlog("Setting VAR %s=%f\n", variable.c_str(), double(value));
    m->setStoredEffectVariable(variable, value);
  }
  materials.push_back(m);
  return true;
}

bool ZFileZMF::readTextFrame(TextTokenizer& in, float frameShare) {
  zlog("Loading frame\n");
  const std::string_view opening = in.next(" \r\n");
  if (in.failed()) return false;
  printToken("tok=%.*s\n", opening);
  if (opening != ">FRAME<") {
    zlog("ZMT ERROR: FRAME NOT FOUND\n");
    return false;
  }
  const std::string name = readString(in, "NAME");
  const ZVector position = readVector(in, "POSITION");
  const ZVector heading = readVector(in, "HEADING");
  const ZVector up = readVector(in, "UP");
  const int32_t parent = readInt(in, "PARENT");
  if (in.failed()) return false;
  zlog("PARENT=%d\n", int(parent));
  ZFrame* f = addFileFrame(name, position, heading, up, parent);
  const int geometryCount = readInt(in, "GEOMETRIES");
  if (in.failed()) return false;
  zlog("Loading %d geometries\n", geometryCount);
  const float step = geometryCount > 0 ? frameShare / float(geometryCount) : 0;
  for (int i = 0; i < geometryCount; ++i) {
    ZGeometry* g = readTextGeometry(in);
    if (in.failed()) return false;
    if (g == nullptr) {
      // The text no longer lines up with the blocks; reading on would only pile up errors.
      MessageBoxA(GetActiveWindow(), "Error null geometry", "ZMFEDIT2", MB_OK);
      return false;
    }
    f->addGeometry(g);
    progress += step;
    report("loading frames");
  }
  return true;
}

ZGeometry* ZFileZMF::readTextGeometry(TextTokenizer& in) {
  const std::string_view opening = in.next(kLine);
  if (in.failed()) return nullptr;
  if (opening != ">GEOMETRY<") {
    printToken("ZMT ERROR: GEOMETRY NOT FOUND %.*s\n", opening);
    return nullptr;
  }
  ZGeometry* g = renderer->getNewGeometry();
  g->name = readString(in, "NAME");
  g->transparent = readInt(in, "TRANSPARENT") != 0;
  g->castShadow = readInt(in, "CASTSHADOW") != 0;
  const int materialIndex = readInt(in, "MATERIAL");
  if (in.failed()) return nullptr;
  if (materialIndex >= 0 && size_t(materialIndex) < materials.size()) {
    g->setMaterial(materials[size_t(materialIndex)]);
  } else {
    MessageBoxA(GetActiveWindow(), "Material problem on geometry", g->name.c_str(), MB_OK);
    g->setMaterial(renderer->getNewMaterial());
  }

  const int vertexCount = readInt(in, "VERTICES");
  if (in.failed()) return nullptr;
  zlog("Loading %d vertices\n", vertexCount);
  // A vertex is 14 numbers, each with its delimiter, so the text left bounds the count.
  g->vertices.reserve(std::min(size_t(std::max(vertexCount, 0)), in.remaining() / 28));
  adviseHugePages(g->vertices);
  for (int i = 0; i < vertexCount; ++i) {
    number(in);  // the vertex's index, implied by its place
    float values[13];
    for (float& value : values) value = float(cvAtof(number(in)));
    if (in.failed()) return nullptr;
    ZVector position(values[0], values[1], values[2]);
    if (scale.x != 1) position.x *= scale.x;
    if (scale.y != 1) position.y *= scale.y;
    if (scale.z != 1) position.z *= scale.z;
    g->addVertex(position);
    SVertex& v = g->vertices.back();
    v.normal = {values[3], values[4], values[5]};
    v.normal.normalize();
    v.tangent = {values[6], values[7], values[8]};
    v.binormal = v.tangent % v.normal;
    std::copy(values + 9, values + 11, v.t0);
    std::copy(values + 11, values + 13, v.t1);
  }
  zlog("done\n");
  g->initRadius();
  g->compiled = false;

  const int faceCount = readInt(in, "FACES");
  if (in.failed()) return nullptr;
  zlog("Loading %d faces\n", faceCount);
  g->faces.reserve(std::min(size_t(std::max(faceCount, 0)), in.remaining() / 20));  // 10 numbers
  adviseHugePages(g->faces);
  for (int i = 0; i < faceCount; ++i) {
    number(in);  // the face's index, implied by its place
    int corners[3];
    for (int& corner : corners) corner = cvAtoi(number(in));
    float values[6];
    for (float& value : values) value = float(cvAtof(number(in)));
    if (in.failed()) return nullptr;
    const int* bad = std::find_if(corners, corners + 3, [g](int corner) {
      return corner < 0 || size_t(corner) >= g->vertices.size();
    });
    if (bad != corners + 3) {
      const std::string text =
          "error loading " + g->name + " vert index " + std::to_string(*bad);
      MessageBoxA(GetActiveWindow(), text.c_str(), "corvane", MB_OK);
      continue;
    }
    g->addTriangle(corners[0], corners[1], corners[2]);
    SFace& f = g->faces.back();
    f.binormal = {values[0], values[1], values[2]};
    f.normal = {values[3], values[4], values[5]};
  }

  const int variableCount = readInt(in, "VARS");
  std::vector<SGeometryVar> variables;
  for (int i = 0; i < variableCount && !in.failed(); ++i) {
    const std::string_view opened = in.next(kLine);
    if (!in.failed() && opened != ">VAR<") printToken("ZMT ERROR: %.*s NOT FOUND\n", opened);
    std::string variable = readString(in, "NAME");
    const float value = readFloat(in, "VALUE");
    if (!in.failed()) variables.push_back({std::move(variable), value});
  }
  g->setVars(variables);
  return in.failed() ? nullptr : g;
}
