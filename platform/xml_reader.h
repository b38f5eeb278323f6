// Reads XML text into a pugixml tree with expat, a conforming non-validating
// XML 1.0 processor. Used by the document layer only.
#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "platform/text_decoder.h"

namespace tavrolin::xml {

struct ReadFailure {
  // What is wrong ("Not well-formed XML (mismatched tag)", "Unknown encoding
  // \"EBCDIC\"").
  std::string reason;
  // Where (both from 1); 0 when the failure has no place in the text.
  uint64_t line = 0;
  uint64_t column = 0;
};

// Builds `tree` from the file's bytes. Returns false, with `failure` set and
// `tree` empty, when the bytes are not a well-formed XML document.
//
// The tree holds the declaration, a document type declaration (with its
// internal subset as written), elements with their attributes (default
// values declared in the internal subset included), text, CDATA sections,
// comments and processing instructions. Text that is only white space is
// dropped, text split by entity references is one node, and references to
// the internal subset's entities are expanded. Nothing outside the bytes is
// ever read: a reference to an external entity fails the read.
//
// The encoding is found as XML 1.0 says (byte-order mark, declaration).
// UTF-8, UTF-16, ISO-8859-1 and US-ASCII are read by the parser; any other
// encoding that `decoder` knows is converted to UTF-8 first.
bool ReadXml(std::string_view bytes, const TextDecoder& decoder,
             pugi::xml_document& tree, ReadFailure& failure);

}  // namespace tavrolin::xml
