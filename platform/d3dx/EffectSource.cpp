#include "platform/d3dx/EffectSource.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

constexpr size_t kMaxEffectBytes = 4 << 20;
// Every shader repeats the preamble: a large preamble with many passes would otherwise make
// gigabytes of shader text from a small file.
constexpr size_t kMaxShaderBytes = 4 * kMaxEffectBytes;
constexpr size_t kMaxUniforms = 256;
constexpr int kMaxArrayElements = 64;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool startsWithWord(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word &&
         (line.size() == word.size() || std::isspace(static_cast<unsigned char>(line[word.size()])));
}

// GLSL 1.20 numbers the line after "#line N" as N + 1.
std::string lineMarker(size_t lineNumber) { return "#line " + std::to_string(lineNumber) + "\n"; }

struct TypeName {
  std::string_view word;
  EffectSource::UniformType type;
  int components;
};
constexpr TypeName kTypes[] = {
    {"float", EffectSource::UniformType::Float, 1},
    {"vec2", EffectSource::UniformType::Vec2, 2},
    {"vec3", EffectSource::UniformType::Vec3, 3},
    {"vec4", EffectSource::UniformType::Vec4, 4},
    {"mat4", EffectSource::UniformType::Mat4, 16},
    {"sampler2D", EffectSource::UniformType::Sampler2D, 0},
    {"samplerCube", EffectSource::UniformType::SamplerCube, 0},
};

bool isIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Numbers of an initialiser such as "0.25" or "vec3(1.0, 0.5, 0.0)".
void readDefaults(std::string_view initialiser, float* out, int components) {
  int n = 0;
  const char* p = initialiser.data();
  const char* end = p + initialiser.size();
  while (p < end && n < components) {
    if (std::isdigit(static_cast<unsigned char>(*p)) || *p == '-' || *p == '.' || *p == '+') {
      if (*p == '+') ++p;
      float value = 0;
      auto [next, error] = std::from_chars(p, end, value);
      if (error == std::errc() && next > p) {
        out[n++] = value;
        p = next;
        continue;
      }
    } else if (isIdentifierChar(*p)) {
      while (p < end && isIdentifierChar(*p)) ++p;  // a constructor name such as vec3
      continue;
    }
    ++p;
  }
}

// Collects "uniform TYPE NAME [= INIT];" declarations of one line.
void collectUniforms(std::string_view line, std::vector<EffectSource::Uniform>& uniforms) {
  size_t at = 0;
  while ((at = line.find("uniform", at)) != std::string_view::npos) {
    const bool wordStart = at == 0 || !isIdentifierChar(line[at - 1]);
    at += 7;
    if (!wordStart || at >= line.size() || !std::isspace(static_cast<unsigned char>(line[at]))) {
      continue;
    }
    std::string_view rest = trim(line.substr(at));
    const TypeName* type = nullptr;
    for (const TypeName& t : kTypes) {
      if (startsWithWord(rest, t.word)) type = &t;
    }
    if (!type) continue;
    rest = trim(rest.substr(type->word.size()));
    size_t nameEnd = 0;
    while (nameEnd < rest.size() && isIdentifierChar(rest[nameEnd])) ++nameEnd;
    if (nameEnd == 0) continue;
    EffectSource::Uniform uniform;
    uniform.name = std::string(rest.substr(0, nameEnd));
    uniform.type = type->type;
    rest = trim(rest.substr(nameEnd));
    if (!rest.empty() && rest.front() == '[') {
      int count = 0;
      size_t digit = 1;
      while (digit < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digit])) &&
             count <= kMaxArrayElements) {
        count = count * 10 + (rest[digit++] - '0');
      }
      if (count < 1 || count > kMaxArrayElements || digit >= rest.size() || rest[digit] != ']') {
        continue;  // not an array the effect can hold: no parameter
      }
      uniform.count = count;
      rest = trim(rest.substr(digit + 1));
    }
    if (!rest.empty() && rest.front() == '=') {
      readDefaults(rest.substr(1, rest.find(';') - 1), uniform.defaults, type->components);
    }
    const bool known = std::any_of(uniforms.begin(), uniforms.end(),
                                   [&](const auto& u) { return u.name == uniform.name; });
    if (!known && uniforms.size() < kMaxUniforms) uniforms.push_back(uniform);
  }
}

}  // namespace

bool EffectSource::parse(std::string_view text, EffectSource& out, std::string& error) {
  out = EffectSource{};
  if (text.size() > kMaxEffectBytes) {
    error = "effect file is larger than 4 MB";
    return false;
  }
  std::string preamble;
  size_t shaderBytes = 0;  // preamble copies made so far
  enum class Section { Preamble, Technique, Vertex, Fragment } section = Section::Preamble;
  size_t lineNumber = 0;
  size_t start = 0;
  const auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const std::string_view directive = trim(line);
    ++lineNumber;
    start = end + 1;

    if (startsWithWord(directive, "#technique")) {
      const std::string_view name = trim(directive.substr(10));
      if (name.empty()) return fail("#technique needs a name");
      out.techniques.push_back({std::string(name), {}});
      section = Section::Technique;
    } else if (startsWithWord(directive, "#pass")) {
      if (out.techniques.empty()) return fail("#pass outside a technique");
      out.techniques.back().passes.emplace_back();
      section = Section::Technique;
    } else if (startsWithWord(directive, "#vertex") || startsWithWord(directive, "#fragment")) {
      if (out.techniques.empty() || out.techniques.back().passes.empty()) {
        return fail("shader outside a pass");
      }
      const bool vertex = startsWithWord(directive, "#vertex");
      Pass& pass = out.techniques.back().passes.back();
      std::string& shader = vertex ? pass.vertex : pass.fragment;
      if (!shader.empty()) return fail("a pass has one shader of each kind");
      shaderBytes += preamble.size();
      if (shaderBytes > kMaxShaderBytes) {
        return fail("the shaders repeat the preamble beyond 16 MB");
      }
      shader = "#version 120\n#line 0\n" + preamble + lineMarker(lineNumber);
      section = vertex ? Section::Vertex : Section::Fragment;
    } else if (startsWithWord(directive, "#version")) {
      return fail("#version is implied (120); remove it");
    } else {
      collectUniforms(line, out.uniforms);
      const std::string withEnd = std::string(line) + "\n";
      if (section == Section::Preamble) {
        preamble += withEnd;
      } else if (section == Section::Vertex) {
        out.techniques.back().passes.back().vertex += withEnd;
      } else if (section == Section::Fragment) {
        out.techniques.back().passes.back().fragment += withEnd;
      } else if (!directive.empty() && directive.substr(0, 2) != "//") {
        return fail("text between #technique/#pass and a shader");
      }
    }
    if (end == text.size()) break;
  }
  if (out.techniques.empty()) {
    error = "no #technique";
    return false;
  }
  for (const Technique& technique : out.techniques) {
    if (technique.passes.empty()) {
      error = "technique " + technique.name + " has no #pass";
      return false;
    }
    for (const Pass& pass : technique.passes) {
      if (pass.vertex.empty() || pass.fragment.empty()) {
        error = "a pass of technique " + technique.name + " lacks a #vertex or #fragment shader";
        return false;
      }
    }
  }
  return true;
}
