// ASCII character tests and letter case: the same in every locale, for the
// numbers and names of the tag lists, the time texts and the historian's
// data, which are compared byte by byte.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tavrolin {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The white space of the C locale: space, tab, line feed, vertical tab,
// form feed, carriage return.
constexpr bool IsAsciiSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// `text` without the white space at its start and its end.
constexpr std::string_view TrimAsciiSpace(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

// True when every byte of `text` is an ASCII character. All bytes are
// looked at, without a branch per byte: the texts are short, and the loop
// runs several bytes at a time.
constexpr bool IsAscii(std::string_view text) {
  unsigned char high = 0;
  for (const char c : text) high |= static_cast<unsigned char>(c);
  return high < 0x80;
}

// The letters A to Z made small, or made capitals; every other byte kept.
constexpr char LowerCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerCase(c);
  return out;
}
inline std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperCase(c);
  return out;
}

}  // namespace tavrolin
