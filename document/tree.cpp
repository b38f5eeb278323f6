// The tree: a tag list loaded whole, its nodes, and its serialisation with
// elements added under one of them.
#include <algorithm>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "document/document.h"
#include "document/reader.h"
#include "document/serialise.h"
#include "platform/error.h"

namespace tavrolin::xml {
namespace {

class StringSink : public TextSink {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

void AppendTextBeneath(pugi::xml_node node, std::string& out) {
  // Iterative pre-order walk: linear in the subtree, no recursion depth.
  pugi::xml_node current = node.first_child();
  while (current) {
    if (current.type() == pugi::node_pcdata ||
        current.type() == pugi::node_cdata) {
      out += current.value();
    }
    if (current.type() == pugi::node_element && current.first_child()) {
      current = current.first_child();
      continue;
    }
    while (current && !current.next_sibling() && current != node) {
      current = current.parent();
    }
    if (!current || current == node) break;
    current = current.next_sibling();
  }
}

// True when every name, value and attribute of the tree is ASCII, so that
// its serialisation is. Linear in the document.
bool TreeIsAscii(const pugi::xml_document& tree) {
  pugi::xml_node current = tree.first_child();
  while (current) {
    if (!IsAscii(current.name()) || !IsAscii(current.value())) {
      return false;
    }
    for (pugi::xml_attribute attribute : current.attributes()) {
      if (!IsAscii(attribute.name()) || !IsAscii(attribute.value())) {
        return false;
      }
    }
    if (current.first_child()) {
      current = current.first_child();
      continue;
    }
    while (current && !current.next_sibling()) current = current.parent();
    if (current) current = current.next_sibling();
  }
  return true;
}

// Builds a pugixml tree from the reader's events.
class TreeBuilder : public ReadEvents {
 public:
  TreeBuilder(pugi::xml_document& tree,
              std::optional<DeclarationFields>& declaration)
      : tree_(tree), declaration_(declaration), current_(tree) {}

  void Declaration(const char* version, const char* encoding,
                   int standalone) override {
    declaration_.emplace(DeclarationFields{
        version, encoding ? std::optional<std::string>(encoding) : std::nullopt,
        standalone});
  }
  void Doctype(std::string_view text) override {
    tree_.append_child(pugi::node_doctype).set_value(text.data(), text.size());
  }
  void StartElement(const char* name, const char** attributes) override {
    current_ = current_.append_child(name);
    for (; attributes[0]; attributes += 2) {
      current_.append_attribute(attributes[0]).set_value(attributes[1]);
    }
  }
  void EndElement(const char* /*name*/) override {
    current_ = current_.parent();
  }
  void Text(std::string_view text) override {
    current_.append_child(pugi::node_pcdata)
        .set_value(text.data(), text.size());
  }
  void CData(std::string_view text) override {
    current_.append_child(pugi::node_cdata).set_value(text.data(), text.size());
  }
  void Comment(const char* text) override {
    current_.append_child(pugi::node_comment).set_value(text);
  }
  void ProcessingInstruction(const char* target, const char* text) override {
    pugi::xml_node pi = current_.append_child(pugi::node_pi);
    pi.set_name(target);
    pi.set_value(text);
  }

 private:
  pugi::xml_document& tree_;
  std::optional<DeclarationFields>& declaration_;
  pugi::xml_node current_;
};

}  // namespace

Node::Node(pugi::xml_node node, Document* document)
    : node_(node.internal_object()), document_(document) {}

pugi::xml_node Node::handle() const { return pugi::xml_node(node_); }

NodeKind Node::kind() const {
  switch (handle().type()) {
    case pugi::node_document:
      return NodeKind::kDocument;
    case pugi::node_element:
      return NodeKind::kElement;
    case pugi::node_pcdata:
      return NodeKind::kText;
    case pugi::node_cdata:
      return NodeKind::kCData;
    case pugi::node_comment:
      return NodeKind::kComment;
    case pugi::node_pi:
      return NodeKind::kProcessingInstruction;
    case pugi::node_declaration:
      return NodeKind::kDeclaration;
    case pugi::node_doctype:
      return NodeKind::kDoctype;
    case pugi::node_null:
      break;
  }
  return NodeKind::kNone;
}

std::string Node::Name() const {
  return IsElement() ? std::string(handle().name()) : std::string();
}

std::string Node::Text() const {
  pugi::xml_node node = handle();
  switch (node.type()) {
    case pugi::node_element:
    case pugi::node_document: {
      std::string text;
      AppendTextBeneath(node, text);
      return text;
    }
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
      return node.value();
    default:
      return std::string();
  }
}

NodeList Node::ChildNodes() const {
  NodeList list;
  list.document_ = document_;
  for (pugi::xml_node child : handle().children()) {
    list.nodes_.push_back(child.internal_object());
  }
  return list;
}

Node Node::ChildAt(std::size_t index) const {
  pugi::xml_node child = handle().first_child();
  for (; child && index > 0; --index) child = child.next_sibling();
  return Node(child, document_);
}

std::size_t Node::ChildCount() const {
  std::size_t count = 0;
  for (pugi::xml_node child = handle().first_child(); child;
       child = child.next_sibling()) {
    ++count;
  }
  return count;
}

Node Node::NextSibling() const {
  return Node(handle().next_sibling(), document_);
}

bool Node::IsInside(const Node& ancestor) const {
  if (!node_ || !ancestor.node_) return false;
  for (pugi::xml_node up = handle().parent(); up; up = up.parent()) {
    if (up == ancestor.handle()) return true;
  }
  return false;
}

void Node::AppendElements(const ElementStream& elements) {
  StringSink text;
  elements.WriteTo(text);
  // Escapes are expanded and every text is kept as it was written, blanks
  // and line ends included, so the nodes serialise to the same text again.
  const pugi::xml_parse_result result = handle().append_buffer(
      text.text().data(), text.text().size(),
      pugi::parse_escapes | pugi::parse_ws_pcdata, pugi::encoding_utf8);
  if (!result) {
    throw Error(errnum::kXmlFailure, "Cannot append the generated elements: " +
                                         std::string(result.description()));
  }
}

std::optional<std::string> Node::Attribute(std::string_view name) const {
  if (!IsElement()) return std::nullopt;
  for (pugi::xml_attribute attribute : handle().attributes()) {
    if (name == attribute.name()) return std::string(attribute.value());
  }
  return std::nullopt;
}

Node NodeList::Item(std::size_t index) const {
  if (index >= nodes_.size()) return Node();
  return Node(pugi::xml_node(nodes_[index]), document_);
}

Document::Document(const TextDecoder& decoder)
    : tree_(std::make_unique<pugi::xml_document>()),
      declaration_(std::make_unique<ReadDeclaration>()),
      decoder_(&decoder) {}
Document::~Document() = default;

bool Document::Load(InputFile& file) {
  tree_->reset();
  load_error_.clear();
  declaration_->fields.reset();
  TreeBuilder builder(*tree_, declaration_->fields);
  try {
    if (ReadTagList(file, *decoder_, builder, load_error_)) return true;
  } catch (...) {
    tree_->reset();  // nothing of a file that could not be read is kept
    declaration_->fields.reset();
    throw;
  }
  tree_->reset();
  declaration_->fields.reset();
  return false;
}

Node Document::FirstElementByTagName(std::string_view name) {
  pugi::xml_node found = tree_->find_node([name](pugi::xml_node node) {
    return node.type() == pugi::node_element && name == node.name();
  });
  return Node(found, this);
}

void Document::Save(std::string_view encoding_name, TextSink& out,
                    const Node& records_parent, const ElementStream* records) {
  pugi::xml_document& tree = *tree_;
  const bool with_records = records != nullptr && !records->empty() &&
                            records_parent.node_ != nullptr &&
                            records_parent.handle().root() == tree.root();
  WriteDeclaration(
      declaration_->fields, encoding_name,
      !(TreeIsAscii(tree) && (!with_records || records->IsAscii())), out);

  CarriageReturnSink escaped(out);
  SinkWriter writer(escaped);
  if (!with_records) {
    for (pugi::xml_node child : tree.children()) Print(child, writer);
    return;
  }
  // The path from the document down to the records' parent: everything
  // before it and the start tags along it, then the parent's own children
  // and the records, then the end tags and everything after, going up.
  std::vector<pugi::xml_node> path;
  for (pugi::xml_node node = records_parent.handle(); node != tree;
       node = node.parent()) {
    path.push_back(node);
  }
  std::reverse(path.begin(), path.end());
  pugi::xml_node parent = tree;
  StartTagPrinter start_tag;
  for (const pugi::xml_node& step : path) {
    for (pugi::xml_node before = parent.first_child(); before != step;
         before = before.next_sibling()) {
      Print(before, writer);
    }
    escaped.Write(start_tag.Print(step));
    escaped.Write(">");
    parent = step;
  }
  for (pugi::xml_node child = parent.first_child(); child;
       child = child.next_sibling()) {
    Print(child, writer);
  }
  records->WriteTo(escaped);
  for (auto step = path.rbegin(); step != path.rend(); ++step) {
    escaped.Write("</");
    escaped.Write(step->name());
    escaped.Write(">");
    for (pugi::xml_node after = step->next_sibling(); after;
         after = after.next_sibling()) {
      Print(after, writer);
    }
  }
}

}  // namespace tavrolin::xml
