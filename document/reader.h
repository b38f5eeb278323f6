// Reads XML text with expat, a conforming non-validating XML 1.0 processor,
// and hands its content on as events. Used by the document layer only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/input_file.h"
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

// The content of a document in document order. Texts are UTF-8 and valid
// only during the call.
class ReadEvents {
 public:
  virtual ~ReadEvents() = default;
  // The XML declaration; a null `encoding` when it names none, `standalone`
  // -1 when it says nothing, else 0 or 1.
  virtual void Declaration(const char* version, const char* encoding,
                           int standalone) = 0;
  // The document type declaration's name; its external identifier and
  // internal subset are not passed on.
  virtual void Doctype(std::string_view name) = 0;
  // `attributes` holds name and value pairs and ends with a null name.
  virtual void StartElement(const char* name, const char** attributes) = 0;
  virtual void EndElement(const char* name) = 0;
  // Text that is not only white space, whole between two pieces of markup.
  virtual void Text(std::string_view text) = 0;
  virtual void CData(std::string_view text) = 0;
  virtual void Comment(const char* text) = 0;
  virtual void ProcessingInstruction(const char* target, const char* text) = 0;
};

// Reads the document from `source`, piece by piece, so that the bytes are
// never held whole (but for encodings that are converted first), and passes
// their content to `events`. Returns false, with `failure` set, when the
// bytes are not a well-formed XML document; `events` may have had part of
// the content by then.
//
// Events carry the declaration, a document type declaration's name,
// elements with their attributes (default values declared in the internal
// subset included), text, CDATA sections, comments and processing
// instructions. Text that is only white space is dropped, text split by
// entity references is one event, and references to the internal subset's
// entities are expanded. Nothing outside the bytes is ever read: a
// reference to an external entity fails the read.
//
// The encoding is found as XML 1.0 says (byte-order mark, declaration).
// UTF-8, UTF-16 and US-ASCII are read by the parser, ISO-8859-1 by a
// conversion of its own; any other encoding that `decoder` knows is
// converted to UTF-8 first.
bool ReadXmlFrom(ByteSource& source, const TextDecoder& decoder,
                 ReadEvents& events, ReadFailure& failure);

// Reads the tag list `file` into `events`, piece by piece, so that the file
// is never held whole, refusing a file over kMaxTagListSize. Returns false
// with `error` saying why, naming the file and, for faults in the text, the
// line and column, when it holds no well-formed document; an Error from
// reading the file, or for a file over the size limit, passes on.
bool ReadTagList(InputFile& file, const TextDecoder& decoder,
                 ReadEvents& events, std::string& error);

}  // namespace tavrolin::xml
