#include "editor/CTextFileWriter.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void CTextFileWriter::print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::vector<char> text(size_t(length > 0 ? length : 0) + 1);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  va_end(arguments);
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  file.write(out.data(), out.size());
}
