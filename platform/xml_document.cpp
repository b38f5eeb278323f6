#include "platform/xml_document.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/error.h"

namespace tavrolin::xml {
namespace {

// Comments, processing instructions, CDATA and the declaration stay nodes;
// white-space-only text is dropped; a document type declaration is skipped
// and never processed, so no entity is expanded and nothing is fetched (an
// unknown entity reference stays as it was written and is written out
// escaped).
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

// Windows-1252 bytes 0x80 to 0x9F; the five the code page leaves unassigned
// map to the control character of the same number, as the system does.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string SingleByteToUtf8(std::string_view bytes, bool windows_1252) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (windows_1252 && byte >= 0x80 && byte <= 0x9F) {
      AppendUtf8(kWindows1252High[byte - 0x80], out);
    } else {
      AppendUtf8(byte, out);
    }
  }
  return out;
}

// UTF-16 (little- or big-endian, without its byte-order mark) to UTF-8;
// nothing on a malformed sequence.
std::optional<std::string> Utf16ToUtf8(std::string_view bytes,
                                       bool big_endian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  const auto unit = [&](std::size_t i) -> char32_t {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (first << 8) | second : (second << 8) | first;
  };
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return std::nullopt;
      const char32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    AppendUtf8(cp, out);
  }
  return out;
}

std::string Lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return out;
}

// The encoding named by the XML declaration at the start of 8-bit `text`,
// or the empty text when there is none.
std::string DeclaredEncoding(std::string_view text) {
  // "<?xml" and a blank: not a processing instruction such as
  // <?xml-stylesheet?>.
  if (text.size() < 6 || text.substr(0, 5) != "<?xml" ||
      std::string_view(" \t\r\n").find(text[5]) == std::string_view::npos) {
    return std::string();
  }
  const std::size_t end = text.find("?>");
  const std::string_view declaration = text.substr(0, end);
  std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::string();
  at = declaration.find_first_of("\"'", at);
  if (at == std::string_view::npos) return std::string();
  const std::size_t close = declaration.find(declaration[at], at + 1);
  if (close == std::string_view::npos) return std::string();
  return std::string(declaration.substr(at + 1, close - at - 1));
}

// The file's bytes as UTF-8 text, or a description of why they cannot be
// read as text. UTF-16 is recognised by its byte-order mark (or by a first
// "<" in 16-bit form); 8-bit files are read in the encoding their
// declaration names, UTF-8 when it names none.
std::string DecodeToUtf8(std::string_view bytes, std::string& error) {
  const auto starts = [&](std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
  };
  using namespace std::string_view_literals;
  if (starts("\x00\x00\xFE\xFF"sv) || starts("\xFF\xFE\x00\x00"sv)) {
    error = "is in UTF-32, which cannot be read";
    return std::string();
  }
  std::optional<std::string> wide;
  if (starts("\xFE\xFF"sv)) {
    wide = Utf16ToUtf8(bytes.substr(2), true);
  } else if (starts("\xFF\xFE"sv)) {
    wide = Utf16ToUtf8(bytes.substr(2), false);
  } else if (starts("\x00<"sv)) {
    wide = Utf16ToUtf8(bytes, true);
  } else if (starts("<\x00"sv)) {
    wide = Utf16ToUtf8(bytes, false);
  } else {
    if (starts("\xEF\xBB\xBF"sv)) bytes.remove_prefix(3);
    const std::string encoding = DeclaredEncoding(bytes);
    const std::string name = Lowered(encoding);
    if (name == "iso-8859-1" || name == "iso8859-1" || name == "latin1" ||
        name == "latin-1" || name == "iso_8859-1" || name == "l1") {
      return SingleByteToUtf8(bytes, false);
    }
    if (name == "windows-1252" || name == "cp1252") {
      return SingleByteToUtf8(bytes, true);
    }
    if (!name.empty() && name != "utf-8" && name != "utf8" &&
        name != "us-ascii" && name != "ascii") {
      error = "declares the encoding " + encoding + ", which cannot be read";
      return std::string();
    }
    return std::string(bytes);
  }
  if (!wide) {
    error = "is not valid UTF-16 text";
    return std::string();
  }
  return std::move(*wide);
}

// Empty when `text` is valid UTF-8 without forbidden characters; otherwise
// what is wrong and where.
std::string CheckCharacters(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    char32_t cp = 0;
    if (!NextCodePoint(text, pos, cp)) {
      return "is not valid UTF-8 text at " + Position(text, start);
    }
    if (IsForbiddenControl(cp)) {
      return "holds a character that XML does not allow at " +
             Position(text, start);
    }
  }
  return std::string();
}

bool HasForbiddenCharacter(const char* text) {
  for (; *text != '\0'; ++text) {
    if (IsForbiddenControl(static_cast<unsigned char>(*text))) return true;
  }
  return false;
}

// A character reference can still bring in a character that XML forbids
// (&#1;); such a document is not well-formed. Linear in the document.
bool HoldsForbiddenReference(const pugi::xml_document& tree) {
  pugi::xml_node current = tree.first_child();
  while (current) {
    if (HasForbiddenCharacter(current.value())) return true;
    for (pugi::xml_attribute attribute : current.attributes()) {
      if (HasForbiddenCharacter(attribute.value())) return true;
    }
    if (current.first_child()) {
      current = current.first_child();
      continue;
    }
    while (current && !current.next_sibling()) current = current.parent();
    if (current) current = current.next_sibling();
  }
  return false;
}

// Collects the serialised document in one text.
struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

// Hands the serialised document on to a TextSink.
class SinkWriter : public pugi::xml_writer {
 public:
  explicit SinkWriter(TextSink& sink) : sink_(sink) {}
  void write(const void* data, std::size_t size) override {
    sink_.Write(std::string_view(static_cast<const char*>(data), size));
  }

 private:
  TextSink& sink_;
};

class StringSink : public TextSink {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

// How documents are serialised: no indentation, no declaration made up.
constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration;

void Print(pugi::xml_node node, pugi::xml_writer& writer) {
  node.print(writer, "", kSaveFlags, pugi::encoding_utf8);
}

// The start tag of an element, with its attributes, exactly as the
// serialisation writes it for an element that has content.
std::string StartTag(pugi::xml_node element) {
  pugi::xml_document scratch;
  pugi::xml_node copy = scratch.append_child(pugi::node_element);
  copy.set_name(element.name());
  for (pugi::xml_attribute attribute : element.attributes()) {
    copy.append_copy(attribute);
  }
  copy.append_child(pugi::node_pcdata);  // content, so no empty-element tag
  StringWriter writer;
  Print(copy, writer);
  // The element prints as start tag and end tag: drop "</name>".
  writer.text.resize(writer.text.size() -
                     (std::string_view(element.name()).size() + 3));
  return std::move(writer.text);
}

bool IsAsciiText(const char* text) {
  for (; *text != '\0'; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

// True when every name, value and attribute of the tree is ASCII, so that
// its serialisation is. Linear in the document.
bool TreeIsAscii(const pugi::xml_document& tree) {
  pugi::xml_node current = tree.first_child();
  while (current) {
    if (!IsAsciiText(current.name()) || !IsAsciiText(current.value())) {
      return false;
    }
    for (pugi::xml_attribute attribute : current.attributes()) {
      if (!IsAsciiText(attribute.name()) || !IsAsciiText(attribute.value())) {
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

bool NeedsEscape(unsigned char c) {
  return c == '&' || c == '<' || c == '>' ||
         (c < 0x20 && c != '\t' && c != '\n' && c != '\r');
}

// Text content escaped as the serialisation escapes text nodes.
void AppendEscapedText(std::string_view text, std::string& out) {
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!NeedsEscape(c)) continue;
    out.append(text.substr(plain, i - plain));
    switch (c) {
      case '&':
        out.append("&amp;");
        break;
      case '<':
        out.append("&lt;");
        break;
      case '>':
        out.append("&gt;");
        break;
      default: {
        const char reference[] = {'&', '#', static_cast<char>('0' + c / 10),
                                  static_cast<char>('0' + c % 10), ';'};
        out.append(reference, sizeof reference);
        break;
      }
    }
    plain = i + 1;
  }
  out.append(text.substr(plain));
}

// True when the text needs no repair to be well-formed: ASCII without
// characters that XML forbids.
bool IsPlainAscii(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || IsForbiddenControl(byte)) return false;
  }
  return true;
}

}  // namespace

ElementName::ElementName(std::string_view name) : name_(name) {
  if (!IsValidElementName(name)) {
    throw Error(errnum::kXmlFailure,
                "\"" + std::string(name) + "\" is not a valid element name");
  }
}

std::string& ElementStream::Room(std::size_t size) {
  // A new block when the last cannot take `size` more bytes without growing:
  // blocks never grow, so nothing written is ever moved.
  static constexpr std::size_t kBlockSize = 256 * 1024;
  if (blocks_.empty() ||
      blocks_.back().capacity() - blocks_.back().size() < size) {
    blocks_.emplace_back().reserve(size > kBlockSize ? size : kBlockSize);
  }
  return blocks_.back();
}

void ElementStream::Append(std::string_view text) {
  Room(text.size()).append(text);
  size_ += text.size();
}

void ElementStream::EndStartTag() {
  if (start_tag_open_) Append(">");
  start_tag_open_ = false;
}

void ElementStream::Open(const ElementName& name) {
  EndStartTag();
  ascii_ = ascii_ && xml::IsAscii(name.text());
  std::string& block = Room(name.text().size() + 1);
  block += '<';
  block.append(name.text());
  size_ += name.text().size() + 1;
  start_tag_open_ = true;
}

void ElementStream::Close(const ElementName& name) {
  if (start_tag_open_) {
    Append("/>");
    start_tag_open_ = false;
    return;
  }
  std::string& block = Room(name.text().size() + 3);
  block += "</";
  block.append(name.text());
  block += '>';
  size_ += name.text().size() + 3;
}

void ElementStream::AddTextElement(const ElementName& name,
                                   std::string_view text) {
  EndStartTag();
  ascii_ = ascii_ && xml::IsAscii(name.text());
  thread_local std::string repaired;
  if (!IsPlainAscii(text)) {
    ascii_ = false;
    repaired = ToXmlSafeUtf8(text);
    text = repaired;
  }
  // Room for the longest form: every character escaped as "&amp;".
  const std::string_view tag = name.text();
  std::string& block = Room(2 * tag.size() + 5 + 5 * text.size());
  const std::size_t before = block.size();
  if (text.empty()) {
    block.append("<").append(tag).append("/>");
  } else {
    block.append("<").append(tag).append(">");
    AppendEscapedText(text, block);
    block.append("</").append(tag).append(">");
  }
  size_ += block.size() - before;
}

void ElementStream::Clear() {
  blocks_.clear();
  size_ = 0;
  ascii_ = true;
  start_tag_open_ = false;
}

void ElementStream::WriteTo(TextSink& out) const {
  for (const std::string& block : blocks_) out.Write(block);
}

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

Node Node::ChildAt(std::size_t index) const {
  pugi::xml_node child = node_.first_child();
  for (; child && index > 0; --index) child = child.next_sibling();
  return Node(child, document_);
}

std::size_t Node::ChildCount() const {
  std::size_t count = 0;
  for (pugi::xml_node child = node_.first_child(); child;
       child = child.next_sibling()) {
    ++count;
  }
  return count;
}

Node Node::NextSibling() const { return Node(node_.next_sibling(), document_); }

bool Node::IsInside(const Node& ancestor) const {
  if (!node_ || !ancestor.node_) return false;
  for (pugi::xml_node up = node_.parent(); up; up = up.parent()) {
    if (up == ancestor.node_) return true;
  }
  return false;
}

void Node::AppendTextElement(const ElementName& name, std::string_view text) {
  if (kind() != NodeKind::kElement && kind() != NodeKind::kDocument) {
    throw Error(errnum::kXmlFailure,
                "Cannot append a child to a node that is not an element");
  }
  const std::string name_text(name.text());
  pugi::xml_node element = node_.append_child(name_text.c_str());
  if (!element) throw Error(errnum::kOutOfMemory, "Out of memory");
  if (!text.empty()) {
    const bool plain = IsPlainAscii(text);
    const std::string safe = plain ? std::string(text) : ToXmlSafeUtf8(text);
    element.append_child(pugi::node_pcdata).set_value(safe.c_str());
  }
}

void Node::AppendElements(const ElementStream& elements) {
  StringSink text;
  elements.WriteTo(text);
  // Escapes are expanded and every text is kept as it was written, blanks
  // and line ends included, so the nodes serialise to the same text again.
  const pugi::xml_parse_result result = node_.append_buffer(
      text.text().data(), text.text().size(),
      pugi::parse_escapes | pugi::parse_ws_pcdata, pugi::encoding_utf8);
  if (!result) {
    throw Error(errnum::kXmlFailure, "Cannot append the generated elements: " +
                                         std::string(result.description()));
  }
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

Document::Document() = default;
Document::~Document() = default;

bool Document::Load(const std::string& path) {
  tree_.reset();
  load_error_.clear();
  const auto fail = [&](const std::string& why) {
    tree_.reset();
    load_error_ = "the file " + path + " " + why;
    return false;
  };
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) return fail("was not found");
  if (std::filesystem::is_directory(status)) return fail("is a folder");
  std::ifstream file(path, std::ios::binary);
  if (!file) return fail("cannot be opened for reading");
  std::ostringstream bytes_read;
  bytes_read << file.rdbuf();
  if (file.bad()) return fail("cannot be read");
  const std::string bytes = std::move(bytes_read).str();

  std::string why;
  const std::string text = DecodeToUtf8(bytes, why);
  if (!why.empty()) return fail(why);
  why = CheckCharacters(text);
  if (!why.empty()) return fail(why);
  const pugi::xml_parse_result result = tree_.load_buffer(
      text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
  if (!result) {
    return fail("is not well-formed XML: " + std::string(result.description()) +
                " at " + Position(text, result.offset));
  }
  if (!tree_.document_element()) return fail("holds no root element");
  if (HoldsForbiddenReference(tree_)) {
    return fail(
        "is not well-formed XML: a character reference names a character "
        "that XML does not allow");
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
  StringSink text;
  Save(encoding_name, text);
  return std::move(text.text());
}

void Document::Save(std::string_view encoding_name, TextSink& out,
                    const Node& records_parent, const ElementStream* records) {
  const std::string name(encoding_name);
  const bool utf8 = name.empty() || IsUtf8Name(name);
  pugi::xml_attribute encoding;
  if (HasDeclaration()) {
    encoding = tree_.first_child().attribute("encoding");
    if (encoding && !name.empty()) encoding.set_value(name.c_str());
  }
  const bool with_records = records != nullptr && !records->empty() &&
                            records_parent.node_ &&
                            records_parent.node_.root() == tree_.root();
  if (!utf8 && !encoding && tree_.first_child() &&
      !(TreeIsAscii(tree_) && (!with_records || records->IsAscii()))) {
    // Written in an encoding other than UTF-8, text beyond ASCII reads back
    // only when the declaration names that encoding: add it after the
    // version (making the declaration when there is none). ASCII reports
    // stay as they were loaded, so they are the same bytes on every system.
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
  }

  SinkWriter writer(out);
  if (!with_records) {
    tree_.save(writer, "", kSaveFlags, pugi::encoding_utf8);
    return;
  }
  // The path from the document down to the records' parent: everything
  // before it and the start tags along it, then the parent's own children
  // and the records, then the end tags and everything after, going up.
  std::vector<pugi::xml_node> path;
  for (pugi::xml_node node = records_parent.node_; node != tree_;
       node = node.parent()) {
    path.push_back(node);
  }
  std::reverse(path.begin(), path.end());
  pugi::xml_node parent = tree_;
  for (const pugi::xml_node& step : path) {
    for (pugi::xml_node before = parent.first_child(); before != step;
         before = before.next_sibling()) {
      Print(before, writer);
    }
    out.Write(StartTag(step));
    parent = step;
  }
  for (pugi::xml_node child = parent.first_child(); child;
       child = child.next_sibling()) {
    Print(child, writer);
  }
  records->WriteTo(out);
  for (auto step = path.rbegin(); step != path.rend(); ++step) {
    out.Write("</");
    out.Write(step->name());
    out.Write(">");
    for (pugi::xml_node after = step->next_sibling(); after;
         after = after.next_sibling()) {
      Print(after, writer);
    }
  }
}

}  // namespace tavrolin::xml
