// The XML document model the report builders work on: load a tag list, find
// elements, read nodes, add generated elements, save the whole document.
//
// Loading is done by a conforming XML 1.0 processor: a document that is not
// well-formed is refused. It drops white-space-only text and keeps comments,
// processing instructions, CDATA sections, the XML declaration and the
// document type's name as nodes. The internal subset's entities are
// expanded and its default attribute values applied; nothing outside the
// file (external subset, external entities) is ever read. The document type
// declaration is written back as "<!DOCTYPE name>": an external identifier
// would make the consumers of a report fetch it, and the internal subset
// has done its work once read.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_blocks.h"
#include "platform/input_file.h"
#include "platform/text_decoder.h"

namespace pugi {
class xml_document;
class xml_node;
struct xml_node_struct;
}  // namespace pugi

namespace tavrolin::xml {

// The largest tag list read, in bytes: some three times the largest list
// the report builders' limits allow (4 categories of 32,767 items of some
// 80 bytes), so that a file put there by mistake (a log, a disk image)
// fails its report at once instead of filling the service's memory. Loaded
// as a tree, a list of this size made only of empty elements takes some
// 600 MiB; read through once, about its own size.
inline constexpr std::size_t kMaxTagListSize = std::size_t{32} * 1024 * 1024;

class Document;
class ElementStream;
class NodeList;
struct ReadDeclaration;

// Receives serialised text piece by piece, in order.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::string_view text) = 0;
};

// An element name, checked once when it is made, so that elements of that
// name can be made any number of times without checking it again.
class ElementName {
 public:
  // Throws Error when `name` is not a valid XML element name: the Name
  // production of XML 1.0 over UTF-8 text, with at most one colon, between
  // two parts, and a name the parser reads back.
  explicit ElementName(std::string_view name);
  std::string_view text() const { return name_; }

 private:
  std::string name_;
};

enum class NodeKind {
  kNone,
  kDocument,
  kElement,
  kText,
  kCData,
  kComment,
  kProcessingInstruction,
  kDeclaration,
  kDoctype,
};

// A handle on a node of a Document; cheap to copy. A default-made Node is
// "no node".
class Node {
 public:
  Node() = default;

  explicit operator bool() const { return node_ != nullptr; }
  NodeKind kind() const;
  bool IsElement() const { return kind() == NodeKind::kElement; }
  // The element's name; the empty text for other nodes.
  std::string Name() const;
  // Text content: for an element, all text and CDATA beneath it in document
  // order; for a text, CDATA, comment or processing instruction node, its own
  // text.
  std::string Text() const;
  // The child nodes in document order.
  NodeList ChildNodes() const;
  // The child node at `index` (counted from 0), or no node; linear in
  // `index`.
  Node ChildAt(std::size_t index) const;
  // The number of child nodes.
  std::size_t ChildCount() const;
  // The next node with the same parent, or no node.
  Node NextSibling() const;
  // True when `ancestor` holds this node at any depth.
  bool IsInside(const Node& ancestor) const;
  // Appends the elements written into `elements` as nodes, as they would
  // read back from a saved document.
  void AppendElements(const ElementStream& elements);
  // The attribute's value, or nothing when the element has no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;

 private:
  friend class Document;
  friend class NodeList;
  Node(pugi::xml_node node, Document* document);
  pugi::xml_node handle() const;

  pugi::xml_node_struct* node_ = nullptr;
  Document* document_ = nullptr;
};

// A snapshot of a node's children, indexed in constant time.
class NodeList {
 public:
  std::size_t Length() const { return nodes_.size(); }
  // The node at `index`, or no node when the index is out of range.
  Node Item(std::size_t index) const;

 private:
  friend class Node;
  std::vector<pugi::xml_node_struct*> nodes_;
  Document* document_ = nullptr;
};

class Document {
 public:
  // Reads encodings beyond those of the parser with `decoder` (the system's
  // converters: SystemTextDecoder()).
  explicit Document(const TextDecoder& decoder);
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Loads the file, in the encoding its byte-order mark or declaration names
  // (UTF-8 when neither does). Returns false and leaves the document empty
  // when the file is in an encoding the system cannot convert or not
  // well-formed; load_error() then says why, beginning with the cause,
  // naming the file by its path and, for faults in the text, the line and
  // column. An Error from reading the file passes on, the document left
  // empty.
  bool Load(InputFile& file);
  const std::string& load_error() const { return load_error_; }

  // The first element of that name in document order, or no node.
  Node FirstElementByTagName(std::string_view name);
  // Writes the whole document into `out` piece by piece, as UTF-8 text
  // without indentation, for writing in the encoding `encoding_name`, with
  // the elements of `records` (when given) after the existing children of
  // `records_parent`, exactly as if they had been appended to it as nodes.
  // A declaration naming an encoding names `encoding_name` instead. When
  // `encoding_name` is not UTF-8 and the text holds characters beyond ASCII,
  // the declaration (made when the document has none) names `encoding_name`,
  // since a reader would otherwise take the text for UTF-8.
  void Save(std::string_view encoding_name, TextSink& out,
            const Node& records_parent = Node(),
            const ElementStream* records = nullptr);

 private:
  friend class Node;
  std::unique_ptr<pugi::xml_document> tree_;
  std::unique_ptr<ReadDeclaration> declaration_;
  std::string load_error_;
  const TextDecoder* decoder_;
};

// Elements written straight as serialised text, in fixed-size blocks, for
// documents whose generated part is large: a record costs its text and no
// nodes. Texts are made well-formed as ToXmlText makes them, and escaped as
// the document's serialisation escapes text nodes.
class ElementStream {
 public:
  // Starts an element; its content follows until the matching Close.
  void Open(const ElementName& name);
  // Ends the element last opened and not yet closed, which is `name`.
  void Close(const ElementName& name);
  // A whole element with the text as its only content.
  void AddTextElement(const ElementName& name, std::string_view text);

  bool empty() const { return text_.empty(); }
  // True while everything written is ASCII.
  bool IsAscii() const { return ascii_; }
  void Clear();
  void WriteTo(TextSink& out) const;

 private:
  void EndStartTag();

  TextBlocks text_;
  bool ascii_ = true;
  bool start_tag_open_ = false;  // the last start tag still lacks its ">"
};

// `text` as an element's content is stored: malformed UTF-8 and characters
// that XML does not allow become U+FFFD, so that the document stays
// well-formed whatever the text holds.
std::string ToXmlText(std::string_view text);

// The content of a document as StreamedDocument::Read passes it on, in
// document order. Texts are valid only during the call.
class ContentHandler {
 public:
  virtual ~ContentHandler() = default;
  virtual void StartElement(std::string_view name) = 0;
  // `place` is where an element added as the element's last child stands,
  // for StreamedDocument::Save; it is meaningful only for an element that
  // has child nodes.
  virtual void EndElement(std::size_t place) = 0;
  // A node without children: text, CDATA section, comment or processing
  // instruction, with its text as Node::Text gives it. Also called for the
  // comments and processing instructions outside the root element.
  virtual void Leaf(NodeKind kind, std::string_view text) = 0;
};

// A document read through once, for documents too large to hold as a tree:
// it keeps only its serialised text, about the size of the report made from
// it. It reads as Document loads, and saves as Document saves the same
// document with elements appended.
class StreamedDocument {
 public:
  // `decoder` as for Document.
  explicit StreamedDocument(const TextDecoder& decoder);
  ~StreamedDocument();
  StreamedDocument(const StreamedDocument&) = delete;
  StreamedDocument& operator=(const StreamedDocument&) = delete;

  // Reads the file, passing its content to `handler`. Returns false and
  // keeps nothing when Document::Load would fail; load_error() then says
  // what Document::load_error() would say. `handler` may have had part of
  // the content by then.
  bool Read(InputFile& file, ContentHandler& handler);
  const std::string& load_error() const { return load_error_; }

  // An element to add with `text` as its only content (as
  // ElementStream::AddTextElement writes it), at a place that ContentHandler
  // gave.
  struct Addition {
    std::size_t place;
    const std::string* text;
  };
  // Writes the document read last into `out` as Document::Save writes it,
  // with an element `name` for each of `additions` (in the order of their
  // places). `added_ascii` says that the added texts are all ASCII.
  void Save(std::string_view encoding_name, TextSink& out,
            const ElementName& name, const std::vector<Addition>& additions,
            bool added_ascii);

 private:
  // The serialised document after its declaration.
  TextBlocks text_;
  std::unique_ptr<ReadDeclaration> declaration_;
  bool ascii_ = true;
  std::string load_error_;
  const TextDecoder* decoder_;
};

}  // namespace tavrolin::xml
