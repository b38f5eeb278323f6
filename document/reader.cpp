#include "document/reader.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "document/document.h"
#include "platform/error.h"

namespace tavrolin::xml {
namespace {

struct ParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

bool IsBlank(std::string_view text) {
  // One bit for each of the four white-space characters.
  constexpr uint64_t kBlanks = (uint64_t{1} << ' ') | (uint64_t{1} << '\n') |
                               (uint64_t{1} << '\t') | (uint64_t{1} << '\r');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > ' ' || ((kBlanks >> byte) & 1) == 0) return false;
  }
  return true;
}

// True for the name ISO-8859-1, in any letter case.
bool IsLatin1Name(std::string_view name) {
  constexpr std::string_view kLatin1 = "ISO-8859-1";
  return name.size() == kLatin1.size() &&
         std::equal(name.begin(), name.end(), kLatin1.begin(),
                    [](char a, char b) {
                      return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
                    });
}

// Passes expat's events on. Character data is gathered until the next
// markup, so that text split by references or buffer ends is one event.
class EventRelay {
 public:
  EventRelay(XML_Parser parser, ReadEvents& events, bool watch_latin1)
      : parser_(parser), events_(events), watch_latin1_(watch_latin1) {
    XML_SetUserData(parser, this);
    XML_SetXmlDeclHandler(parser, &EventRelay::OnXmlDecl);
    XML_SetDoctypeDeclHandler(parser, &EventRelay::OnDoctypeStart,
                              &EventRelay::OnDoctypeEnd);
    XML_SetElementHandler(parser, &EventRelay::OnStart, &EventRelay::OnEnd);
    XML_SetCharacterDataHandler(parser, &EventRelay::OnText);
    XML_SetCdataSectionHandler(parser, &EventRelay::OnCdataStart,
                               &EventRelay::OnCdataEnd);
    XML_SetCommentHandler(parser, &EventRelay::OnComment);
    XML_SetProcessingInstructionHandler(parser, &EventRelay::OnPi);
    XML_SetSkippedEntityHandler(parser, &EventRelay::OnSkippedEntity);
    XML_SetExternalEntityRefHandler(parser, &EventRelay::OnExternalEntity);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    // Entity expansion that multiplies the text a hundredfold fails once it
    // passes 1 MiB (expat's default, 8 MiB, lets a bomb run for seconds on
    // a slow machine); no tag list comes near either limit.
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, 1 << 20);
  }

  // Set when a handler stopped the parser; expat's own reason otherwise.
  const std::optional<std::string>& refusal() const { return refusal_; }
  // The declaration names ISO-8859-1 (only looked for when asked to).
  bool declares_latin1() const { return declares_latin1_; }

  static EventRelay& Of(void* data) { return *static_cast<EventRelay*>(data); }

  void FlushText() {
    FlushDeclaration();
    if (text_.empty()) return;
    if (!IsBlank(text_)) events_.Text(text_);
    text_.clear();
  }

  void Refuse(std::string reason) {
    if (!refusal_) refusal_ = std::move(reason);
    XML_StopParser(parser_, XML_FALSE);
  }

  static void XMLCALL OnXmlDecl(void* data, const XML_Char* version,
                                const XML_Char* encoding, int standalone) {
    EventRelay& self = Of(data);
    if (self.watch_latin1_ && encoding != nullptr && IsLatin1Name(encoding)) {
      self.declares_latin1_ = true;
      XML_StopParser(self.parser_, XML_FALSE);
      return;
    }
    // Passed on with the next event: a declaration naming an encoding that
    // expat lacks ends this reading, and the converted text is read again.
    self.declaration_ = Declaration{version ? version : "", encoding != nullptr,
                                    encoding ? encoding : "", standalone};
  }

  // Passes on the declaration read last, if any.
  void FlushDeclaration() {
    if (!declaration_) return;
    const Declaration declaration = std::move(*declaration_);
    declaration_.reset();
    events_.Declaration(
        declaration.version.c_str(),
        declaration.has_encoding ? declaration.encoding.c_str() : nullptr,
        declaration.standalone);
  }

 private:
  struct Declaration {
    std::string version;
    bool has_encoding;
    std::string encoding;
    int standalone;
  };

  // A report keeps the document type's name alone. Its external identifier
  // would make every consumer that loads DTDs fetch that URL, and nothing of
  // the internal subset is needed once read: its entities are expanded and
  // its default attribute values applied to the elements.
  static void XMLCALL OnDoctypeStart(void* data, const XML_Char* name,
                                     const XML_Char* /*system_id*/,
                                     const XML_Char* /*public_id*/,
                                     int /*has_internal_subset*/) {
    EventRelay& self = Of(data);
    self.FlushDeclaration();
    self.in_doctype_ = true;
    self.events_.Doctype(name);
  }

  static void XMLCALL OnDoctypeEnd(void* data) { Of(data).in_doctype_ = false; }

  static void XMLCALL OnStart(void* data, const XML_Char* name,
                              const XML_Char** attributes) {
    EventRelay& self = Of(data);
    self.FlushText();
    self.events_.StartElement(name, attributes);
  }

  static void XMLCALL OnEnd(void* data, const XML_Char* name) {
    EventRelay& self = Of(data);
    self.FlushText();
    self.events_.EndElement(name);
  }

  static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    Of(data).text_.append(text, static_cast<std::size_t>(length));
  }

  static void XMLCALL OnCdataStart(void* data) { Of(data).FlushText(); }

  static void XMLCALL OnCdataEnd(void* data) {
    EventRelay& self = Of(data);
    // A CDATA section is a node even when it holds only white space.
    self.events_.CData(self.text_);
    self.text_.clear();
  }

  static void XMLCALL OnComment(void* data, const XML_Char* text) {
    EventRelay& self = Of(data);
    if (self.in_doctype_) return;  // the internal subset is not kept
    self.FlushText();
    self.events_.Comment(text);
  }

  static void XMLCALL OnPi(void* data, const XML_Char* target,
                           const XML_Char* text) {
    EventRelay& self = Of(data);
    if (self.in_doctype_) return;  // the internal subset is not kept
    self.FlushText();
    self.events_.ProcessingInstruction(target, text);
  }

  // An entity whose declaration was not read (it stands in an external
  // subset or after a reference to an external parameter entity).
  static void XMLCALL OnSkippedEntity(void* data, const XML_Char* name,
                                      int is_parameter_entity) {
    if (is_parameter_entity) return;  // only declarations are lost
    Of(data).Refuse("Reference to the entity &" + std::string(name) +
                    "; declared outside the file (never read)");
  }

  static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char*,
                                      const XML_Char*,
                                      const XML_Char* system_id,
                                      const XML_Char*) {
    EventRelay& self = Of(XML_GetUserData(parser));
    self.refusal_ = "Reference to the external entity \"" +
                    std::string(system_id ? system_id : "") + "\" (never read)";
    return XML_STATUS_ERROR;
  }

  XML_Parser parser_;
  ReadEvents& events_;
  bool watch_latin1_;
  bool declares_latin1_ = false;
  std::string text_;
  bool in_doctype_ = false;
  std::optional<std::string> refusal_;
  std::optional<Declaration> declaration_;
};

// The encoding a declaration names that expat does not read itself.
int XMLCALL NoteUnknownEncoding(void* data, const XML_Char* name,
                                XML_Encoding*) {
  *static_cast<std::string*>(data) = name;
  return XML_STATUS_ERROR;
}

enum class Outcome { kDone, kFailed, kUnknownEncoding, kLatin1 };

// Bytes at hand as a source.
class TextSource : public ByteSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, text_.size() - at_);
    std::memcpy(buffer, text_.data() + at_, count);
    at_ += count;
    return count;
  }
  void Rewind() override { at_ = 0; }
  std::size_t SizeHint() const override { return text_.size() - at_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// All bytes of `source` from its first.
std::string ReadAll(ByteSource& source) {
  source.Rewind();
  std::string bytes;
  constexpr std::size_t kPiece = std::size_t{64} * 1024;
  for (;;) {
    const std::size_t before = bytes.size();
    bytes.resize(before + kPiece);
    const std::size_t count = source.Read(bytes.data() + before, kPiece);
    bytes.resize(before + count);
    if (count < kPiece) return bytes;
  }
}

// What a pass that expat stopped comes to: a Latin-1 reading to try, an
// unknown encoding to convert, or a failure with its place and reason.
Outcome FailedOutcome(XML_Parser parser, const EventRelay& relay,
                      const std::string& unknown_encoding,
                      ReadFailure& failure) {
  if (relay.declares_latin1()) return Outcome::kLatin1;
  const XML_Error code = XML_GetErrorCode(parser);
  if (code == XML_ERROR_UNKNOWN_ENCODING && !unknown_encoding.empty()) {
    return Outcome::kUnknownEncoding;
  }
  failure.line = XML_GetCurrentLineNumber(parser);
  failure.column = XML_GetCurrentColumnNumber(parser) + 1;
  if (relay.refusal()) {
    failure.reason = *relay.refusal();
  } else {
    failure.reason =
        "Not well-formed XML (" + std::string(XML_ErrorString(code)) + ")";
  }
  return Outcome::kFailed;
}

// One pass of expat over the source's bytes, fed in pieces into expat's own
// buffer (which it would otherwise fill with a copy of the whole text). With
// `utf8` set the bytes are UTF-8 whatever the declaration names (they were
// converted from it).
Outcome Parse(ByteSource& source, bool utf8, ReadEvents& events,
              ReadFailure& failure, std::string& unknown_encoding) {
  const Parser parser(XML_ParserCreate(utf8 ? "UTF-8" : nullptr));
  if (!parser) {
    failure.reason = "out of memory";
    return Outcome::kFailed;
  }
  // A text up to 1.5 MiB goes to expat in one final piece; a longer one in
  // pieces of 64 KiB, which keeps expat's buffer small but costs a pass of
  // expat over each piece but the last to count lines and columns.
  constexpr std::size_t kPiece = std::size_t{64} * 1024;
  constexpr std::size_t kWhole = std::size_t{1536} * 1024;
  const std::size_t size = source.SizeHint();
  // One byte more than the size, to find the end when the text grew.
  const std::size_t first_piece = size > 0 && size < kWhole ? size + 1 : kPiece;
  void* buffer = XML_GetBuffer(parser.get(), static_cast<int>(first_piece));
  if (buffer == nullptr) {
    failure.reason = "out of memory";
    return Outcome::kFailed;
  }
  std::size_t count = source.Read(static_cast<char*>(buffer), first_piece);
  std::size_t piece = first_piece;
  // (A byte-order mark, which expat follows over the declaration, rules a
  // Latin-1 reading out.)
  EventRelay relay(
      parser.get(), events,
      !utf8 && std::string_view(static_cast<const char*>(buffer), count)
                       .substr(0, 5) == "<?xml");
  if (!utf8) {
    XML_SetUnknownEncodingHandler(parser.get(), &NoteUnknownEncoding,
                                  &unknown_encoding);
  }
  XML_Status status = XML_STATUS_OK;
  for (;;) {
    const bool last = count < piece;
    status = XML_ParseBuffer(parser.get(), static_cast<int>(count), last);
    if (status != XML_STATUS_OK || last) break;
    piece = kPiece;
    buffer = XML_GetBuffer(parser.get(), static_cast<int>(kPiece));
    if (buffer == nullptr) {
      failure.reason = "out of memory";
      return Outcome::kFailed;
    }
    count = source.Read(static_cast<char*>(buffer), kPiece);
  }
  if (status == XML_STATUS_OK) {
    relay.FlushDeclaration();  // a document of nothing else fails anyway
    return Outcome::kDone;
  }
  return FailedOutcome(parser.get(), relay, unknown_encoding, failure);
}

// Line and column (both from 1) just after UTF-8 `text`.
void EndPosition(std::string_view text, ReadFailure& failure) {
  failure.line = 1;
  failure.column = 1;
  for (const char c : text) {
    if (c == '\n') {
      ++failure.line;
      failure.column = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++failure.column;
    }
  }
}

// Latin-1 bytes as UTF-8: each byte is the code point of its value.
std::string Latin1ToUtf8(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size() + bytes.size() / 8);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

// Reads converted UTF-8 text.
bool ParseConverted(std::string_view text, ReadEvents& events,
                    ReadFailure& failure) {
  TextSource source(text);
  std::string ignored;
  return Parse(source, true, events, failure, ignored) == Outcome::kDone;
}

}  // namespace

bool ReadXmlFrom(ByteSource& source, const TextDecoder& decoder,
                 ReadEvents& events, ReadFailure& failure) {
  std::string encoding;
  const Outcome outcome = Parse(source, false, events, failure, encoding);
  if (outcome == Outcome::kLatin1) {
    // expat's own ISO-8859-1 reading takes a few characters for name
    // characters (U+00AA, U+00B5, U+00BA) that XML's Name rule leaves out,
    // so a report written from such a name would not read back. The text is
    // read as UTF-8 instead, under the same rules as every other document.
    // The parser stopped at the declaration, before any other event.
    return ParseConverted(Latin1ToUtf8(ReadAll(source)), events, failure);
  }
  if (outcome != Outcome::kUnknownEncoding) return outcome == Outcome::kDone;

  const std::string bytes = ReadAll(source);
  DecodedText decoded = decoder.ToUtf8(encoding, bytes);
  switch (decoded.status) {
    case DecodedText::Status::kUnknownEncoding:
      failure.reason = "Unknown encoding \"" + encoding + "\"";
      return false;
    case DecodedText::Status::kInvalidBytes:
      failure.reason = "Invalid " + encoding + " text";
      if (!decoded.text.empty()) EndPosition(decoded.text, failure);
      return false;
    case DecodedText::Status::kDone:
      break;
  }
  return ParseConverted(decoded.text, events, failure);
}

namespace {

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

}  // namespace

bool ReadTagList(InputFile& file, const TextDecoder& decoder,
                 ReadEvents& events, std::string& error) {
  LimitedFile limited(file);
  ReadFailure failure;
  if (ReadXmlFrom(limited, decoder, events, failure)) return true;
  error = LoadFailure(failure, file.path());
  return false;
}

}  // namespace tavrolin::xml
