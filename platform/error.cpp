#include "platform/error.h"

#include <new>
#include <utility>

namespace tavrolin {

Error::Error(int32_t number, std::string description)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)) {}

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026 in UTF-8

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// 1000000 as "1,000,000".
std::string Grouped(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) {
    digits.insert(at - 3, ",");
  }
  return digits;
}

}  // namespace

std::string Abridged(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t cut = limit;
  while (cut > 0 && IsContinuationByte(text[cut])) --cut;
  std::size_t characters = 0;
  for (const char c : text) {
    if (!IsContinuationByte(c)) ++characters;
  }
  return std::string(text.substr(0, cut)) + kEllipsis + " (" +
         Grouped(characters) + " characters)";
}

std::string ErrorReportMessage(const Error& error) {
  return Abridged(
      "[" + std::to_string(error.number()) + "] " + error.description(),
      kMessageLimit);
}

Error ToError(const std::exception& e) {
  if (const auto* error = dynamic_cast<const Error*>(&e)) return *error;
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    return Error(errnum::kOutOfMemory, "Out of memory");
  }
  return Error(errnum::kInternal, std::string("Internal error: ") + e.what());
}

}  // namespace tavrolin
