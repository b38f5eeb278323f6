// What the tree and the one-pass stream both write with, so that they
// write the same bytes: the sinks, the one start-tag printer and the one
// declaration writer. pugixml prints everything else, node by node.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "document/document.h"
#include "document/text_blocks.h"

namespace tavrolin::xml {

// Passes the serialised text on with each CR written as the character
// reference &#13;, so that it reads back as CR and not as a line end. The
// serialiser escapes CR, LF and TAB in attribute values itself; a CR it
// writes raw stands in text, since comments, processing instructions and
// CDATA sections of a loaded document hold no CR (line ends are LF once
// read), and texts set on elements are text.
class CarriageReturnSink : public TextSink {
 public:
  explicit CarriageReturnSink(TextSink& out) : out_(out) {}
  void Write(std::string_view text) override;

 private:
  TextSink& out_;
};

// Hands pugixml's output on to a TextSink.
class SinkWriter : public pugi::xml_writer {
 public:
  explicit SinkWriter(TextSink& sink) : sink_(sink) {}
  void write(const void* data, std::size_t size) override {
    sink_.Write(std::string_view(static_cast<const char*>(data), size));
  }

 private:
  TextSink& sink_;
};

// Hands pugixml's output on to text blocks.
class BlocksWriter : public pugi::xml_writer {
 public:
  explicit BlocksWriter(TextBlocks& blocks) : blocks_(blocks) {}
  void write(const void* data, std::size_t size) override {
    blocks_.Append(std::string_view(static_cast<const char*>(data), size));
  }

 private:
  TextBlocks& blocks_;
};

// Prints a node as the document is serialised: no indentation.
void Print(pugi::xml_node node, pugi::xml_writer& writer);

// The start tag of an element with content, less its ">", exactly as the
// serialisation writes it: pugixml's escaping of attribute values.
class StartTagPrinter {
 public:
  // From an element of a tree.
  std::string_view Print(pugi::xml_node element);
  // From a name and the reader's attributes (name and value pairs ending
  // with a null name).
  std::string_view Print(const char* name, const char** attributes);

 private:
  std::string_view PrintScratch(pugi::xml_node element);

  pugi::xml_document scratch_;
  std::string text_;
};

// The XML declaration as read.
struct DeclarationFields {
  std::string version;
  std::optional<std::string> encoding;
  int standalone = -1;
};

// The declaration of a document read, kept apart from its nodes.
struct ReadDeclaration {
  std::optional<DeclarationFields> fields;
};

// Writes the declaration for a document written in `encoding_name`, as
// both serialisers do: the encoding the declaration names is the one
// written; when `beyond_ascii` and the encoding is not UTF-8, it is named
// (the declaration made when there is none), since a reader would otherwise
// take the text for UTF-8. ASCII documents keep their declaration as read,
// so they are the same bytes on every system.
void WriteDeclaration(const std::optional<DeclarationFields>& fields,
                      std::string_view encoding_name, bool beyond_ascii,
                      TextSink& out);

}  // namespace tavrolin::xml
