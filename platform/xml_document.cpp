#include "platform/xml_document.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/error.h"

namespace tavrolin::xml {
namespace {

// Comments, processing instructions, CDATA and the declaration stay nodes;
// white-space-only text is dropped; DOCTYPE is skipped, never processed.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments |
                                   pugi::parse_pi | pugi::parse_declaration;

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

bool IsUtf8Name(std::string_view name) {
  if (name.size() != 5 && name.size() != 4) return false;
  std::string upper;
  for (char c : name) {
    upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return upper == "UTF-8" || upper == "UTF8";
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Decodes one UTF-8 sequence at `pos`; returns false on malformed input.
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

// Line and column (both from 1) of a byte offset into `text`.
std::string Position(std::string_view text, std::ptrdiff_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  const auto end =
      std::min<std::size_t>(static_cast<std::size_t>(offset), text.size());
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

bool IsValidElementName(std::string_view name) {
  if (name.empty()) return false;
  std::size_t pos = 0;
  bool first = true;
  while (pos < name.size()) {
    char32_t c = 0;
    if (!NextCodePoint(name, pos, c)) return false;
    if (first ? !IsNameStartChar(c) : !IsNameChar(c)) return false;
    first = false;
  }
  return true;
}

NodeKind Node::kind() const {
  switch (node_.type()) {
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
  return IsElement() ? std::string(node_.name()) : std::string();
}

std::string Node::Text() const {
  switch (node_.type()) {
    case pugi::node_element:
    case pugi::node_document: {
      std::string text;
      AppendTextBeneath(node_, text);
      return text;
    }
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
      return node_.value();
    default:
      return std::string();
  }
}

void Node::SetText(std::string_view text) {
  if (!IsElement()) {
    throw Error(errnum::kXmlFailure,
                "Cannot set the text of a node that is "
                "not an element");
  }
  while (node_.first_child()) node_.remove_child(node_.first_child());
  if (!text.empty()) {
    node_.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
  }
}

NodeList Node::ChildNodes() const {
  NodeList list;
  list.document_ = document_;
  for (pugi::xml_node child : node_.children()) list.nodes_.push_back(child);
  return list;
}

void Node::AppendChild(Node& child) {
  if (!node_ || !child.node_) {
    throw Error(errnum::kObjectNotSet, "Cannot append a node that is missing");
  }
  if (kind() != NodeKind::kElement && kind() != NodeKind::kDocument) {
    throw Error(errnum::kXmlFailure,
                "Cannot append a child to a node that is not an element");
  }
  if (node_.root() == child.node_.root()) {
    pugi::xml_node moved = node_.append_move(child.node_);
    if (!moved) {
      throw Error(errnum::kXmlFailure,
                  "Cannot append element <" + child.Name() + "> here");
    }
    child.node_ = moved;
    return;
  }
  // The child comes from the detached area: copy it into this tree once and
  // let the detached original go.
  pugi::xml_node copy = node_.append_copy(child.node_);
  if (!copy) {
    throw Error(errnum::kXmlFailure,
                "Cannot append element <" + child.Name() + "> here");
  }
  child.node_.parent().remove_child(child.node_);
  child.node_ = copy;
}

std::optional<std::string> Node::Attribute(std::string_view name) const {
  if (!IsElement()) return std::nullopt;
  for (pugi::xml_attribute attribute : node_.attributes()) {
    if (name == attribute.name()) return std::string(attribute.value());
  }
  return std::nullopt;
}

Node NodeList::Item(std::size_t index) const {
  if (index >= nodes_.size()) return Node();
  return Node(nodes_[index], document_);
}

Document::Document() = default;
Document::~Document() = default;

bool Document::Load(const std::string& path) {
  tree_.reset();
  load_error_.clear();
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    load_error_ = "the file " + path + " was not found or cannot be read";
    return false;
  }
  std::string content((std::istreambuf_iterator<char>(file)),
                      std::istreambuf_iterator<char>());
  if (file.bad()) {
    load_error_ = "the file " + path + " cannot be read";
    return false;
  }
  const pugi::xml_parse_result result = tree_.load_buffer(
      content.data(), content.size(), kParseOptions, pugi::encoding_auto);
  if (!result) {
    tree_.reset();
    load_error_ = "the file " + path +
                  " is not well-formed XML: " + result.description() + " at " +
                  Position(content, result.offset);
    return false;
  }
  if (!tree_.document_element()) {
    tree_.reset();
    load_error_ = "the file " + path + " holds no root element";
    return false;
  }
  return true;
}

Node Document::FirstElementByTagName(std::string_view name) {
  pugi::xml_node found = tree_.find_node([name](pugi::xml_node node) {
    return node.type() == pugi::node_element && name == node.name();
  });
  return Node(found, this);
}

Node Document::CreateElement(std::string_view name) {
  if (!IsValidElementName(name)) {
    throw Error(errnum::kXmlFailure,
                "\"" + std::string(name) + "\" is not a valid element name");
  }
  pugi::xml_node element = detached_.append_child(std::string(name).c_str());
  if (!element) throw Error(errnum::kOutOfMemory, "Out of memory");
  return Node(element, this);
}

bool Document::HasDeclaration() const {
  return tree_.first_child().type() == pugi::node_declaration;
}

std::string Document::Serialize(std::string_view encoding_name) {
  if (HasDeclaration()) {
    pugi::xml_attribute encoding = tree_.first_child().attribute("encoding");
    if (encoding) encoding.set_value(std::string(encoding_name).c_str());
  }
  std::ostringstream out;
  tree_.save(out, "", pugi::format_raw | pugi::format_no_declaration,
             pugi::encoding_utf8);
  std::string text = out.str();
  if (IsUtf8Name(encoding_name) || IsAscii(text)) return text;
  // Written in another encoding than UTF-8, text beyond ASCII can only be
  // read back when the declaration names that encoding: add it.
  pugi::xml_node declaration =
      HasDeclaration() ? tree_.first_child()
                       : tree_.prepend_child(pugi::node_declaration);
  pugi::xml_attribute version = declaration.attribute("version");
  if (!version) {
    version = declaration.prepend_attribute("version");
    version.set_value("1.0");
  }
  pugi::xml_attribute encoding = declaration.attribute("encoding");
  if (!encoding)
    encoding = declaration.insert_attribute_after("encoding", version);
  encoding.set_value(std::string(encoding_name).c_str());
  out.str(std::string());
  tree_.save(out, "", pugi::format_raw | pugi::format_no_declaration,
             pugi::encoding_utf8);
  return out.str();
}

}  // namespace tavrolin::xml
