#include "platform/xml_document.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/error.h"
#include "platform/xml_reader.h"

namespace tavrolin::xml {
namespace {

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

// `text` as valid UTF-8 without characters XML forbids: every malformed
// sequence and every forbidden character becomes U+FFFD. Texts from outside
// the document (value texts) go through it, so that a report stays
// well-formed whatever the historian answers.
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

// Writes each CR of the serialised text as the character reference &#13;,
// so that it reads back as CR and not as a line end. The serialiser escapes
// CR, LF and TAB in attribute values itself; a CR it writes raw stands in
// text, since comments, processing instructions, CDATA sections and the
// document type declaration of a loaded document hold no CR (line ends are
// LF once read), and texts set on elements are text.
void EscapeCarriageReturns(std::string& text) {
  std::size_t at = text.find('\r');
  if (at == std::string::npos) return;
  std::string escaped;
  escaped.reserve(text.size() + 16);
  std::size_t from = 0;
  for (; at != std::string::npos; at = text.find('\r', from)) {
    escaped.append(text, from, at - from);
    escaped += "&#13;";
    from = at + 1;
  }
  escaped.append(text, from, std::string::npos);
  text = std::move(escaped);
}

// Collects the serialised document in one text.
struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

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
    node_.append_child(pugi::node_pcdata)
        .set_value(ToXmlSafeUtf8(text).c_str());
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
  if (child.document_ != document_) {
    throw Error(errnum::kXmlFailure,
                "Cannot append a node of another document");
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

Document::Document() : decoder_(&SystemTextDecoder()) {}
Document::Document(const TextDecoder& decoder) : decoder_(&decoder) {}
Document::~Document() = default;

bool Document::Load(const std::string& path) {
  tree_.reset();
  load_error_.clear();
  const std::filesystem::path given(path);
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(given, error);
  if (error) absolute = given;
  const auto fail = [&](const std::string& why) {
    tree_.reset();
    load_error_ = why;
    return false;
  };
  const auto status = std::filesystem::status(absolute, error);
  if (!std::filesystem::exists(status)) {
    return fail(absolute.filename().string() + " not found in " +
                absolute.parent_path().string() +
                (given.has_parent_path() ? "" : " (the working folder)"));
  }
  if (std::filesystem::is_directory(status)) {
    return fail("A folder, not a file: " + absolute.string());
  }
  std::ifstream file(absolute, std::ios::binary);
  if (!file) return fail("Cannot open " + absolute.string() + " for reading");
  std::ostringstream bytes_read;
  bytes_read << file.rdbuf();
  if (file.bad()) return fail("Cannot read " + absolute.string());
  const std::string bytes = std::move(bytes_read).str();

  ReadFailure failure;
  if (!ReadXml(bytes, *decoder_, tree_, failure)) {
    std::string why = failure.reason + " in " + absolute.string();
    if (failure.line > 0) {
      why += " at line " + std::to_string(failure.line) + ", column " +
             std::to_string(failure.column);
    }
    return fail(why);
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
  const std::string name(encoding_name);
  const bool utf8 = name.empty() || IsUtf8Name(name);
  pugi::xml_attribute encoding;
  if (HasDeclaration()) {
    encoding = tree_.first_child().attribute("encoding");
    if (encoding && !name.empty()) encoding.set_value(name.c_str());
  }
  StringWriter writer;
  tree_.save(writer, "", pugi::format_raw | pugi::format_no_declaration,
             pugi::encoding_utf8);
  EscapeCarriageReturns(writer.text);
  if (utf8 || encoding || IsAscii(writer.text) || !tree_.first_child()) {
    return std::move(writer.text);
  }
  // Written in an encoding other than UTF-8, text beyond ASCII reads back
  // only when the declaration names that encoding: add it after the version
  // (making the declaration when there is none). ASCII reports stay as they
  // were loaded, so they are the same bytes on every system.
  pugi::xml_node declaration =
      HasDeclaration() ? tree_.first_child()
                       : tree_.prepend_child(pugi::node_declaration);
  pugi::xml_attribute version = declaration.attribute("version");
  if (!version) {
    version = declaration.prepend_attribute("version");
    version.set_value("1.0");
  }
  declaration.insert_attribute_after("encoding", version)
      .set_value(name.c_str());
  StringWriter again;
  tree_.save(again, "", pugi::format_raw | pugi::format_no_declaration,
             pugi::encoding_utf8);
  EscapeCarriageReturns(again.text);
  return std::move(again.text);
}

}  // namespace tavrolin::xml
