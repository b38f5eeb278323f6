// Text as the document layer handles it: encoding names, the repair of
// texts from outside the document, and the one escaper both serialisers
// write text content with. (Element names are checked where ElementName is
// made, in text.cpp.)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrolin::xml {

// True for the name UTF-8 (or UTF8), in any letter case.
bool IsUtf8Name(std::string_view name);

// `text` as valid UTF-8 without characters XML forbids: every malformed
// sequence and every forbidden character becomes U+FFFD. Texts from outside
// the document (value texts) go through it, so that a report stays
// well-formed whatever the historian answers.
std::string ToXmlSafeUtf8(std::string_view text);
// True when the text needs no repair to be well-formed: ASCII without
// characters that XML forbids.
bool IsPlainAscii(std::string_view text);

// The most bytes the escaper writes for `size` bytes of text.
constexpr std::size_t EscapedRoom(std::size_t size) { return 5 * size; }
// Writes text content at `out`, escaped as the serialisation escapes text
// nodes, and moves `out` past it; `out` has EscapedRoom(text.size()) bytes
// of room. Returns false when the text holds bytes beyond ASCII.
bool PutEscapedText(std::string_view text, char*& out);

// The most bytes PutTextElement writes.
constexpr std::size_t TextElementRoom(std::string_view tag,
                                      std::string_view text) {
  return 2 * tag.size() + 5 + EscapedRoom(text.size());
}
// Writes an element `tag` with `text` (well-formed already) as its only
// content, as the serialisation writes such an element; `out` has
// TextElementRoom bytes of room and is moved past what was written.
void PutTextElement(std::string_view tag, std::string_view text, char*& out);

}  // namespace tavrolin::xml
