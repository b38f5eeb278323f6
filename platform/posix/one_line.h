// Texts written as single lines: on a terminal, in the journal, in a pipe.
#pragma once

#include <string>
#include <string_view>

namespace tavrolin::posix {

// The text with every line break (CR LF, CR or LF) turned into one blank.
inline std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += (c == '\r' || c == '\n') ? ' ' : c;
  }
  return line;
}

}  // namespace tavrolin::posix
