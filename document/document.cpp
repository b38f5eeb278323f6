#include "document/document.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <pugixml.hpp>

#include "document/reader.h"
#include "platform/error.h"

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
  // All bytes are looked at, without a branch per byte: names and texts are
  // short, and the loop runs several bytes at a time.
  unsigned char high = 0;
  for (const char c : text) high |= static_cast<unsigned char>(c);
  return high < 0x80;
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

// Passes the serialised text on with each CR written as the character
// reference &#13;,
// so that it reads back as CR and not as a line end. The serialiser escapes
// CR, LF and TAB in attribute values itself; a CR it writes raw stands in
// text, since comments, processing instructions, CDATA sections and the
// document type declaration of a loaded document hold no CR (line ends are
// LF once read), and texts set on elements are text.
class CarriageReturnSink : public TextSink {
 public:
  explicit CarriageReturnSink(TextSink& out) : out_(out) {}
  void Write(std::string_view text) override {
    for (std::size_t at = text.find('\r'); at != std::string_view::npos;
         at = text.find('\r')) {
      out_.Write(text.substr(0, at));
      out_.Write("&#13;");
      text.remove_prefix(at + 1);
    }
    out_.Write(text);
  }

 private:
  TextSink& out_;
};

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

constexpr bool NeedsEscape(unsigned char c) {
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

// Builds a pugixml tree from the reader's events.
class TreeBuilder : public ReadEvents {
 public:
  explicit TreeBuilder(pugi::xml_document& tree)
      : tree_(tree), current_(tree) {}

  void Declaration(const char* version, const char* encoding,
                   int standalone) override {
    pugi::xml_node declaration = tree_.prepend_child(pugi::node_declaration);
    if (*version != '\0') {
      declaration.append_attribute("version").set_value(version);
    }
    if (encoding) declaration.append_attribute("encoding").set_value(encoding);
    if (standalone >= 0) {
      declaration.append_attribute("standalone")
          .set_value(standalone ? "yes" : "no");
    }
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
  pugi::xml_node current_;
};

// The load error of a read that failed.
std::string LoadFailure(const ReadFailure& failure,
                        const std::string& absolute) {
  std::string why = failure.reason + " in " + absolute;
  if (failure.line > 0) {
    why += " at line " + std::to_string(failure.line) + ", column " +
           std::to_string(failure.column);
  }
  return why;
}

// A file read up to the size limit of a tag list: the whole of a larger one
// is never read, even when it grows while it is read.
class LimitedFile : public ByteSource {
 public:
  explicit LimitedFile(InputFile& file) : file_(file) {
    if (file.SizeHint() > kMaxTagListSize) TooLarge(file.SizeHint(), "");
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = file_.Read(buffer, size);
    read_ += count;
    if (read_ > kMaxTagListSize) TooLarge(read_, " or more");
    return count;
  }
  void Rewind() override {
    file_.Rewind();
    read_ = 0;
  }
  std::size_t SizeHint() const override { return file_.SizeHint(); }

 private:
  [[noreturn]] void TooLarge(std::size_t size, const char* more) const {
    throw Error(errnum::kObjectNotSet,
                "Too large for a tag list: " + std::to_string(size) + " bytes" +
                    more + ", at most " + std::to_string(kMaxTagListSize) +
                    ", in " + file_.path());
  }

  InputFile& file_;
  std::size_t read_ = 0;
};

// Reads the file into `events`, piece by piece, so that the file is never
// held whole. Returns false with `error` saying why when the file holds no
// well-formed document; an Error from reading the file, or for a file over
// the size limit, passes on.
bool ReadFileInto(InputFile& file, const TextDecoder& decoder,
                  ReadEvents& events, std::string& error) {
  LimitedFile limited(file);
  ReadFailure failure;
  if (ReadXmlFrom(limited, decoder, events, failure)) return true;
  error = LoadFailure(failure, file.path());
  return false;
}

// Serialised text in blocks: each block is made at its full size and
// filled, so nothing written is ever moved, and writing is copying into
// memory at hand. A place is a count of bytes from the start.
template <typename Block>
class TextBlocks : public pugi::xml_writer {
 public:
  explicit TextBlocks(std::vector<Block>& blocks) : blocks_(blocks) {}
  TextBlocks(const TextBlocks&) = delete;
  TextBlocks& operator=(const TextBlocks&) = delete;
  // Notes what the last block holds.
  ~TextBlocks() { EndBlock(); }

  void write(const void* data, std::size_t size) override {
    Append(std::string_view(static_cast<const char*>(data), size));
  }
  // Room for `size` more bytes at Next().
  void Reserve(std::size_t size) {
    if (static_cast<std::size_t>(end_ - at_) < size) NewBlock(size);
  }
  char*& Next() { return at_; }
  void Append(std::string_view text) {
    Reserve(text.size());
    std::memcpy(at_, text.data(), text.size());
    at_ += text.size();
  }
  void Put(char c) {
    Reserve(1);
    *at_++ = c;
  }
  std::size_t place() const {
    return before_ + static_cast<std::size_t>(at_ - start_);
  }

 private:
  // Blocks start small, for small documents, and double up to the largest.
  static constexpr std::size_t kFirstSize = std::size_t{16} * 1024;
  static constexpr std::size_t kLargestSize = std::size_t{256} * 1024;

  void EndBlock() {
    if (start_ == nullptr) return;
    blocks_.back().size = static_cast<std::size_t>(at_ - start_);
    before_ += blocks_.back().size;
  }
  void NewBlock(std::size_t size) {
    EndBlock();
    next_size_ =
        start_ == nullptr ? kFirstSize : std::min(2 * next_size_, kLargestSize);
    const std::size_t block_size = std::max(size, next_size_);
    Block& block = blocks_.emplace_back();
    // Not zeroed: every byte is written before it is read.
    block.data = std::make_unique_for_overwrite<char[]>(block_size);
    start_ = at_ = block.data.get();
    end_ = start_ + block_size;
  }

  std::vector<Block>& blocks_;
  char* start_ = nullptr;
  char* at_ = nullptr;
  char* end_ = nullptr;
  std::size_t before_ = 0;
  std::size_t next_size_ = 0;
};

// Writes text content into `out` escaped as the serialisation escapes text
// nodes; `out` has room for 5 bytes per byte of text. Returns false when the
// text holds bytes beyond ASCII.
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

// The XML declaration as read.
struct DeclarationFields {
  std::string version;
  std::optional<std::string> encoding;
  int standalone = -1;
};

// Serialises a document from the reader's events, exactly as its tree would
// be saved but for the declaration, which is kept apart, and passes the
// content on to a ContentHandler, noting whether every name and text of it
// is ASCII. Elements without attributes and texts, the bulk of a document,
// are written here; everything else is printed by pugixml, from a scratch
// node.
template <typename Block>
class Recorder : public ReadEvents {
 public:
  Recorder(ContentHandler& handler, std::vector<Block>& blocks,
           std::optional<DeclarationFields>& declaration)
      : handler_(handler), out_(blocks), declaration_(declaration) {}
  bool ascii() const { return ascii_; }

  void Declaration(const char* version, const char* encoding,
                   int standalone) override {
    Note(version);
    declaration_.emplace();
    declaration_->version = version;
    if (encoding) {
      Note(encoding);
      declaration_->encoding = encoding;
    }
    declaration_->standalone = standalone;
  }
  void Doctype(std::string_view text) override {
    Note(text);
    pugi::xml_node doctype = scratch_.append_child(pugi::node_doctype);
    doctype.set_value(text.data(), text.size());
    PrintScratch(doctype);
  }
  void StartElement(const char* name, const char** attributes) override {
    CloseStartTag();
    const std::string_view name_text(name);
    Note(name_text);
    if (attributes[0] == nullptr) {
      out_.Reserve(name_text.size() + 1);
      char*& at = out_.Next();
      *at++ = '<';
      std::memcpy(at, name_text.data(), name_text.size());
      at += name_text.size();
    } else {
      // The start tag as pugixml prints it for an element with content,
      // less its ">".
      pugi::xml_node element = scratch_.append_child(name);
      for (; attributes[0]; attributes += 2) {
        Note(attributes[0]);
        Note(attributes[1]);
        element.append_attribute(attributes[0]).set_value(attributes[1]);
      }
      element.append_child(pugi::node_pcdata);
      start_tag_.text.clear();
      Print(element, start_tag_);
      scratch_.remove_child(element);
      // "></name>": the end tag of the element printed with content.
      out_.Append(
          std::string_view(start_tag_.text)
              .substr(0, start_tag_.text.size() - (name_text.size() + 4)));
    }
    start_tag_open_ = true;
    handler_.StartElement(name_text);
  }
  void EndElement(const char* name) override {
    handler_.EndElement(out_.place());
    if (start_tag_open_) {
      out_.Reserve(2);
      char*& at = out_.Next();
      *at++ = '/';
      *at++ = '>';
      start_tag_open_ = false;
      return;
    }
    const std::size_t size = std::strlen(name);
    out_.Reserve(size + 3);
    char*& at = out_.Next();
    *at++ = '<';
    *at++ = '/';
    std::memcpy(at, name, size);
    at += size;
    *at++ = '>';
  }
  void Text(std::string_view text) override {
    CloseStartTag();
    out_.Reserve(5 * text.size());
    ascii_ = PutEscapedText(text, out_.Next()) && ascii_;
    handler_.Leaf(NodeKind::kText, text);
  }
  void CData(std::string_view text) override {
    Note(text);
    CloseStartTag();
    pugi::xml_node cdata = scratch_.append_child(pugi::node_cdata);
    cdata.set_value(text.data(), text.size());
    PrintScratch(cdata);
    handler_.Leaf(NodeKind::kCData, text);
  }
  void Comment(const char* text) override {
    Note(text);
    CloseStartTag();
    pugi::xml_node comment = scratch_.append_child(pugi::node_comment);
    comment.set_value(text);
    PrintScratch(comment);
    handler_.Leaf(NodeKind::kComment, text);
  }
  void ProcessingInstruction(const char* target, const char* text) override {
    Note(target);
    Note(text);
    CloseStartTag();
    pugi::xml_node pi = scratch_.append_child(pugi::node_pi);
    pi.set_name(target);
    pi.set_value(text);
    PrintScratch(pi);
    handler_.Leaf(NodeKind::kProcessingInstruction, text);
  }

 private:
  void Note(std::string_view text) { ascii_ = ascii_ && IsAscii(text); }

  void CloseStartTag() {
    if (!start_tag_open_) return;
    out_.Put('>');
    start_tag_open_ = false;
  }

  void PrintScratch(pugi::xml_node node) {
    Print(node, out_);
    scratch_.remove_child(node);
  }

  ContentHandler& handler_;
  TextBlocks<Block> out_;
  std::optional<DeclarationFields>& declaration_;
  pugi::xml_document scratch_;
  StringWriter start_tag_;
  bool start_tag_open_ = false;
  bool ascii_ = true;
};

// Writes an element with the text as its only content, as the document's
// serialisation writes an element that AppendTextElement made.
void AppendTextElementText(std::string_view tag, const std::string& text,
                           std::string& out) {
  out.push_back('<');
  out.append(tag);
  if (text.empty()) {
    out.append("/>");
    return;
  }
  out.push_back('>');
  if (IsPlainAscii(text)) {
    AppendEscapedText(text, out);
  } else {
    AppendEscapedText(ToXmlSafeUtf8(text), out);
  }
  out.append("</").append(tag).push_back('>');
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
  static constexpr std::size_t kBlockSize = std::size_t{256} * 1024;
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

void Node::SetText(std::string_view text) {
  if (!IsElement()) {
    throw Error(errnum::kXmlFailure,
                "Cannot set the text of a node that is "
                "not an element");
  }
  pugi::xml_node node = handle();
  while (node.first_child()) node.remove_child(node.first_child());
  if (!text.empty()) {
    node.append_child(pugi::node_pcdata).set_value(ToXmlSafeUtf8(text).c_str());
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

void Node::AppendTextElement(const ElementName& name, std::string_view text) {
  if (kind() != NodeKind::kElement && kind() != NodeKind::kDocument) {
    throw Error(errnum::kXmlFailure,
                "Cannot append a child to a node that is not an element");
  }
  const std::string name_text(name.text());
  pugi::xml_node element = handle().append_child(name_text.c_str());
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
  const pugi::xml_parse_result result = handle().append_buffer(
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
  pugi::xml_node node = handle();
  if (node.root() == child.handle().root()) {
    pugi::xml_node moved = node.append_move(child.handle());
    if (!moved) {
      throw Error(errnum::kXmlFailure,
                  "Cannot append element <" + child.Name() + "> here");
    }
    child.node_ = moved.internal_object();
    return;
  }
  // The child comes from the detached area: copy it into this tree once and
  // let the detached original go.
  pugi::xml_node copy = node.append_copy(child.handle());
  if (!copy) {
    throw Error(errnum::kXmlFailure,
                "Cannot append element <" + child.Name() + "> here");
  }
  child.handle().parent().remove_child(child.handle());
  child.node_ = copy.internal_object();
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
      detached_(std::make_unique<pugi::xml_document>()),
      decoder_(&decoder) {}
Document::~Document() = default;

bool Document::Load(InputFile& file) {
  tree_->reset();
  load_error_.clear();
  TreeBuilder builder(*tree_);
  try {
    if (ReadFileInto(file, *decoder_, builder, load_error_)) return true;
  } catch (...) {
    tree_->reset();  // nothing of a file that could not be read is kept
    throw;
  }
  tree_->reset();
  return false;
}

Node Document::FirstElementByTagName(std::string_view name) {
  pugi::xml_node found = tree_->find_node([name](pugi::xml_node node) {
    return node.type() == pugi::node_element && name == node.name();
  });
  return Node(found, this);
}

Node Document::CreateElement(std::string_view name) {
  if (!IsValidElementName(name)) {
    throw Error(errnum::kXmlFailure,
                "\"" + std::string(name) + "\" is not a valid element name");
  }
  pugi::xml_node element = detached_->append_child(std::string(name).c_str());
  if (!element) throw Error(errnum::kOutOfMemory, "Out of memory");
  return Node(element, this);
}

bool Document::HasDeclaration() const {
  return tree_->first_child().type() == pugi::node_declaration;
}

std::string Document::Serialize(std::string_view encoding_name) {
  StringSink text;
  Save(encoding_name, text);
  return std::move(text.text());
}

void Document::Save(std::string_view encoding_name, TextSink& out,
                    const Node& records_parent, const ElementStream* records) {
  pugi::xml_document& tree = *tree_;
  const std::string name(encoding_name);
  const bool utf8 = name.empty() || IsUtf8Name(name);
  pugi::xml_attribute encoding;
  if (HasDeclaration()) {
    encoding = tree.first_child().attribute("encoding");
    if (encoding && !name.empty()) encoding.set_value(name.c_str());
  }
  const bool with_records = records != nullptr && !records->empty() &&
                            records_parent.node_ != nullptr &&
                            records_parent.handle().root() == tree.root();
  if (!utf8 && !encoding && tree.first_child() &&
      !(TreeIsAscii(tree) && (!with_records || records->IsAscii()))) {
    // Written in an encoding other than UTF-8, text beyond ASCII reads back
    // only when the declaration names that encoding: add it after the
    // version (making the declaration when there is none). ASCII reports
    // stay as they were loaded, so they are the same bytes on every system.
    pugi::xml_node declaration =
        HasDeclaration() ? tree.first_child()
                         : tree.prepend_child(pugi::node_declaration);
    pugi::xml_attribute version = declaration.attribute("version");
    if (!version) {
      version = declaration.prepend_attribute("version");
      version.set_value("1.0");
    }
    declaration.insert_attribute_after("encoding", version)
        .set_value(name.c_str());
  }

  CarriageReturnSink escaped(out);
  SinkWriter writer(escaped);
  if (!with_records) {
    tree.save(writer, "", kSaveFlags, pugi::encoding_utf8);
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
  for (const pugi::xml_node& step : path) {
    for (pugi::xml_node before = parent.first_child(); before != step;
         before = before.next_sibling()) {
      Print(before, writer);
    }
    escaped.Write(StartTag(step));
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

std::string ToXmlText(std::string_view text) {
  return IsPlainAscii(text) ? std::string(text) : ToXmlSafeUtf8(text);
}

struct StreamedDocument::Declaration {
  std::optional<DeclarationFields> fields;
};

StreamedDocument::StreamedDocument(const TextDecoder& decoder)
    : declaration_(std::make_unique<Declaration>()), decoder_(&decoder) {}
StreamedDocument::~StreamedDocument() = default;

bool StreamedDocument::Read(InputFile& file, ContentHandler& handler) {
  blocks_ = std::vector<Block>();
  declaration_->fields.reset();
  load_error_.clear();
  bool read = false;
  {
    // Only the serialised text is held.
    Recorder<Block> recorder(handler, blocks_, declaration_->fields);
    read = ReadFileInto(file, *decoder_, recorder, load_error_);
    ascii_ = recorder.ascii();
  }
  if (!read) {
    blocks_ = std::vector<Block>();
    declaration_->fields.reset();
  }
  return read;
}

void StreamedDocument::Save(std::string_view encoding_name, TextSink& out,
                            const ElementName& name,
                            const std::vector<Addition>& additions,
                            bool added_ascii) {
  const std::string encoding(encoding_name);
  const bool utf8 = encoding.empty() || IsUtf8Name(encoding);
  const std::optional<DeclarationFields>& fields = declaration_->fields;
  CarriageReturnSink escaped(out);
  SinkWriter writer(escaped);

  // The declaration as Document::Save makes it: the encoding it names is
  // the one written; beyond ASCII, an encoding other than UTF-8 is named.
  const bool name_encoding =
      !utf8 && !(fields && fields->encoding) &&
      !(ascii_ && (additions.empty() || (added_ascii && IsAscii(name.text()))));
  if (fields || name_encoding) {
    pugi::xml_document scratch;
    pugi::xml_node declaration = scratch.append_child(pugi::node_declaration);
    if (fields) {
      if (!fields->version.empty()) {
        declaration.append_attribute("version").set_value(
            fields->version.c_str());
      }
      if (fields->encoding) {
        declaration.append_attribute("encoding")
            .set_value(encoding.empty() ? fields->encoding->c_str()
                                        : encoding.c_str());
      }
      if (fields->standalone >= 0) {
        declaration.append_attribute("standalone")
            .set_value(fields->standalone ? "yes" : "no");
      }
    }
    if (name_encoding) {
      pugi::xml_attribute version = declaration.attribute("version");
      if (!version) {
        version = declaration.prepend_attribute("version");
        version.set_value("1.0");
      }
      declaration.insert_attribute_after("encoding", version)
          .set_value(encoding.c_str());
    }
    Print(declaration, writer);
  }

  // The blocks, with the added elements at their places, passed on in
  // pieces of some 64 KiB.
  constexpr std::size_t kPiece = std::size_t{64} * 1024;
  std::string piece;
  piece.reserve(2 * kPiece);
  const auto pass_on = [&](bool full) {
    if (piece.size() >= (full ? kPiece : 1)) {
      escaped.Write(piece);
      piece.clear();
    }
  };
  auto addition = additions.begin();
  std::size_t place = 0;
  for (const Block& stored : blocks_) {
    const std::string_view block(stored.data.get(), stored.size);
    const std::size_t end = place + block.size();
    std::size_t done = 0;
    for (; addition != additions.end() && addition->place <= end; ++addition) {
      if (addition->place < place + done) {
        throw Error(errnum::kXmlFailure, "Elements added out of order");
      }
      const std::size_t at = addition->place - place;
      piece.append(block.substr(done, at - done));
      done = at;
      AppendTextElementText(name.text(), *addition->text, piece);
      pass_on(true);
    }
    if (block.size() - done >= kPiece) {
      pass_on(false);
      escaped.Write(std::string_view(block).substr(done));
    } else {
      piece.append(block, done);
      pass_on(true);
    }
    place = end;
  }
  pass_on(false);
  if (addition != additions.end()) {
    throw Error(errnum::kXmlFailure,
                "An element added past the document's end");
  }
}

}  // namespace tavrolin::xml
