#include "document/text.h"

#include <expat.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/ascii.h"
#include "document/document.h"
#include "platform/error.h"

namespace tavrolin::xml {

bool IsUtf8Name(std::string_view name) {
  if (name.size() != 5 && name.size() != 4) return false;
  const std::string upper = UpperCase(name);
  return upper == "UTF-8" || upper == "UTF8";
}

namespace {

// Decodes one UTF-8 sequence at `pos`, moving `pos` past it; returns false
// on malformed input.
bool NextCodePoint(std::string_view text, std::size_t& pos, char32_t& cp) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(pos);
  int extra = 0;
  if (lead < 0x80) {
    cp = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    cp = lead & 0x1F;
    extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    cp = lead & 0x0F;
    extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    cp = lead & 0x07;
    extra = 3;
  } else {
    return false;
  }
  if (pos + extra >= text.size()) return false;
  for (int i = 1; i <= extra; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF) return false;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  pos += extra + 1;
  return true;
}

bool IsNameStartChar(char32_t c) {
  return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' ||
         (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') ||
         c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
         (c >= 0x203F && c <= 0x2040);
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Characters that XML 1.0 does not allow in a document at all.
bool IsForbiddenControl(char32_t cp) {
  return (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') ||
         cp == 0xFFFE || cp == 0xFFFF;
}

constexpr char32_t kReplacementCharacter = 0xFFFD;

constexpr bool NeedsEscape(unsigned char c) {
  return c == '&' || c == '<' || c == '>' ||
         (c < 0x20 && c != '\t' && c != '\n' && c != '\r');
}

// True when the parser reads `name` as an element name. Its tables of name
// characters leave out some characters the rule of IsValidElementName admits
// (letters added to Unicode later); a name it would refuse is refused here
// too, so that every report written reads back.
bool ParserReadsName(std::string_view name) {
  const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(
      XML_ParserCreate("UTF-8"), &XML_ParserFree);
  if (!parser) throw std::bad_alloc();
  const std::string text = "<" + std::string(name) + "/>";
  return XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()),
                   XML_TRUE) == XML_STATUS_OK;
}

// True when `name` is a valid XML element name (see ElementName).
bool IsValidElementName(std::string_view name) {
  if (name.empty()) return false;
  // A name with a colon must be prefix:local, so that the report stays
  // readable by namespace-aware software too.
  const std::size_t colon = name.find(':');
  if (colon != std::string_view::npos &&
      (colon == 0 || colon + 1 == name.size() ||
       name.find(':', colon + 1) != std::string_view::npos)) {
    return false;
  }
  std::size_t pos = 0;
  bool first = true;
  while (pos < name.size()) {
    char32_t c = 0;
    if (!NextCodePoint(name, pos, c)) return false;
    if (first ? !IsNameStartChar(c) : !IsNameChar(c)) return false;
    first = (c == ':');
  }
  return ParserReadsName(name);
}

}  // namespace

std::string ToXmlSafeUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = 0;
    if (NextCodePoint(text, pos, cp)) {
      AppendUtf8(IsForbiddenControl(cp) ? kReplacementCharacter : cp, out);
    } else {
      AppendUtf8(kReplacementCharacter, out);
      ++pos;
    }
  }
  return out;
}

bool IsPlainAscii(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || IsForbiddenControl(byte)) return false;
  }
  return true;
}

bool PutEscapedText(std::string_view text, char*& out) {
  // 1 for a byte that is escaped, 2 for a byte beyond ASCII.
  static constexpr std::array<unsigned char, 256> kSpecial = [] {
    std::array<unsigned char, 256> special{};
    for (unsigned c = 0; c < 256; ++c) {
      special[c] = c >= 0x80 ? 2 : NeedsEscape(static_cast<unsigned char>(c));
    }
    return special;
  }();
  bool ascii = true;
  char* at = out;
  const char* next = text.data();
  const char* const end = next + text.size();
  for (;;) {
    // The run of bytes that are written as they are.
    const char* const plain = next;
    while (next != end && kSpecial[static_cast<unsigned char>(*next)] == 0) {
      ++next;
    }
    std::memcpy(at, plain, static_cast<std::size_t>(next - plain));
    at += next - plain;
    if (next == end) break;
    const auto byte = static_cast<unsigned char>(*next++);
    if (kSpecial[byte] == 2) {
      ascii = false;
      *at++ = static_cast<char>(byte);
      continue;
    }
    std::string_view reference;
    const char number[5] = {'&', '#', static_cast<char>('0' + byte / 10),
                            static_cast<char>('0' + byte % 10), ';'};
    switch (byte) {
      case '&':
        reference = "&amp;";
        break;
      case '<':
        reference = "&lt;";
        break;
      case '>':
        reference = "&gt;";
        break;
      default:
        reference = std::string_view(number, sizeof number);
        break;
    }
    std::memcpy(at, reference.data(), reference.size());
    at += reference.size();
  }
  out = at;
  return ascii;
}

ElementName::ElementName(std::string_view name) : name_(name) {
  if (!IsValidElementName(name)) {
    throw Error(errnum::kXmlFailure,
                "\"" + std::string(name) + "\" is not a valid element name");
  }
}

std::string ToXmlText(std::string_view text) {
  return IsPlainAscii(text) ? std::string(text) : ToXmlSafeUtf8(text);
}

void PutTextElement(std::string_view tag, std::string_view text, char*& out) {
  const auto put = [&out](std::string_view piece) {
    std::memcpy(out, piece.data(), piece.size());
    out += piece.size();
  };
  put("<");
  put(tag);
  if (text.empty()) {
    put("/>");
    return;
  }
  put(">");
  PutEscapedText(text, out);
  put("</");
  put(tag);
  put(">");
}

}  // namespace tavrolin::xml
