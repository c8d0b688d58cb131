#include "platform/d3dx/EffectProgram.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

namespace {

std::string shaderLog(GLuint shader) {
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  std::string log(size_t(std::max(length, 1)), '\0');
  glGetShaderInfoLog(shader, length, nullptr, log.data());
  return log.c_str();
}

std::string programLog(GLuint program) {
  GLint length = 0;
  glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
  std::string log(size_t(std::max(length, 1)), '\0');
  glGetProgramInfoLog(program, length, nullptr, log.data());
  return log.c_str();
}

GLuint compile(GLenum kind, const std::string& text, std::string& error) {
  const GLuint shader = glCreateShader(kind);
  const char* source = text.c_str();
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    error = (kind == GL_VERTEX_SHADER ? "vertex shader: " : "fragment shader: ") + shaderLog(shader);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

uint32_t linkEffectPass(const EffectSource::Pass& pass, std::string& error) {
  const GLuint vertex = compile(GL_VERTEX_SHADER, pass.vertex, error);
  if (!vertex) return 0;
  const GLuint fragment = compile(GL_FRAGMENT_SHADER, pass.fragment, error);
  if (!fragment) {
    glDeleteShader(vertex);
    return 0;
  }
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    error = "link: " + programLog(program);
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

