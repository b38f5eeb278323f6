// ASCII character tests and letter case: the same in every locale, for the
// numbers and names of the tag lists, the time texts and the historian's
// data, which are compared byte by byte.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tavrolin {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when every byte of `text` is an ASCII character.
constexpr bool IsAscii(std::string_view text) {
  return std::ranges::all_of(
      text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// `text` with the letters A to Z made small; every other byte kept.
inline std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace tavrolin
