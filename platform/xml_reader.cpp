#include "platform/xml_reader.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace tavrolin::xml {
namespace {

struct ParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

bool IsBlank(std::string_view text) {
  for (const char c : text) {
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return false;
  }
  return true;
}

// Appends markup of the internal subset, line ends normalised to LF as XML
// does everywhere else in the document.
void AppendMarkup(std::string_view markup, std::string& out) {
  for (std::size_t i = 0; i < markup.size(); ++i) {
    if (markup[i] != '\r') {
      out.push_back(markup[i]);
    } else if (i + 1 >= markup.size() || markup[i + 1] != '\n') {
      out.push_back('\n');
    }
  }
}

// A system or public identifier in quotes that do not occur in it.
std::string Quoted(const XML_Char* literal) {
  const std::string_view text(literal);
  const char quote = text.find('"') == std::string_view::npos ? '"' : '\'';
  return quote + std::string(text) + quote;
}

// Builds the tree from expat's events. Character data is gathered until the
// next markup, so that text split by references or buffer ends is one node.
class TreeBuilder {
 public:
  TreeBuilder(XML_Parser parser, pugi::xml_document& tree)
      : parser_(parser), tree_(tree), current_(tree) {
    XML_SetUserData(parser, this);
    XML_SetXmlDeclHandler(parser, &TreeBuilder::OnXmlDecl);
    XML_SetDoctypeDeclHandler(parser, &TreeBuilder::OnDoctypeStart,
                              &TreeBuilder::OnDoctypeEnd);
    XML_SetElementHandler(parser, &TreeBuilder::OnStart, &TreeBuilder::OnEnd);
    XML_SetCharacterDataHandler(parser, &TreeBuilder::OnText);
    XML_SetCdataSectionHandler(parser, &TreeBuilder::OnCdataStart,
                               &TreeBuilder::OnCdataEnd);
    XML_SetCommentHandler(parser, &TreeBuilder::OnComment);
    XML_SetProcessingInstructionHandler(parser, &TreeBuilder::OnPi);
    XML_SetSkippedEntityHandler(parser, &TreeBuilder::OnSkippedEntity);
    XML_SetExternalEntityRefHandler(parser, &TreeBuilder::OnExternalEntity);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    // Entity expansion that multiplies the text a hundredfold fails once it
    // passes 1 MiB (expat's default, 8 MiB, lets a bomb run for seconds on
    // a slow machine); no tag list comes near either limit.
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, 1 << 20);
  }

  // Set when a handler stopped the parser; expat's own reason otherwise.
  const std::optional<std::string>& refusal() const { return refusal_; }

 private:
  static TreeBuilder& Of(void* data) {
    return *static_cast<TreeBuilder*>(data);
  }

  void FlushText() {
    if (text_.empty()) return;
    if (!IsBlank(text_)) {
      current_.append_child(pugi::node_pcdata)
          .set_value(text_.data(), text_.size());
    }
    text_.clear();
  }

  void Refuse(std::string reason) {
    if (!refusal_) refusal_ = std::move(reason);
    XML_StopParser(parser_, XML_FALSE);
  }

  static void XMLCALL OnXmlDecl(void* data, const XML_Char* version,
                                const XML_Char* encoding, int standalone) {
    TreeBuilder& self = Of(data);
    pugi::xml_node declaration =
        self.tree_.prepend_child(pugi::node_declaration);
    if (version) declaration.append_attribute("version").set_value(version);
    if (encoding) declaration.append_attribute("encoding").set_value(encoding);
    if (standalone >= 0) {
      declaration.append_attribute("standalone")
          .set_value(standalone ? "yes" : "no");
    }
  }

  static void XMLCALL OnDoctypeStart(void* data, const XML_Char* name,
                                     const XML_Char* system_id,
                                     const XML_Char* public_id,
                                     int has_internal_subset) {
    TreeBuilder& self = Of(data);
    self.in_doctype_ = true;
    self.doctype_ = name;
    if (public_id) {
      self.doctype_ += " PUBLIC " + Quoted(public_id) + " " +
                       Quoted(system_id ? system_id : "");
    } else if (system_id) {
      self.doctype_ += " SYSTEM " + Quoted(system_id);
    }
    self.has_internal_subset_ = has_internal_subset != 0;
    if (self.has_internal_subset_) {
      self.doctype_ += " [";
      // The internal subset's declarations reach the default handler as
      // they are written (the expanding variant keeps entity references in
      // content expanded). Only there: it slows expat down elsewhere.
      XML_SetDefaultHandlerExpand(self.parser_, &TreeBuilder::OnDefault);
    }
  }

  static void XMLCALL OnDoctypeEnd(void* data) {
    TreeBuilder& self = Of(data);
    if (self.has_internal_subset_) {
      self.doctype_ += "]";
      XML_SetDefaultHandlerExpand(self.parser_, nullptr);
    }
    self.tree_.append_child(pugi::node_doctype)
        .set_value(self.doctype_.c_str());
    self.in_doctype_ = false;
    self.doctype_.clear();
  }

  static void XMLCALL OnDefault(void* data, const XML_Char* text, int length) {
    AppendMarkup(std::string_view(text, static_cast<std::size_t>(length)),
                 Of(data).doctype_);
  }

  static void XMLCALL OnStart(void* data, const XML_Char* name,
                              const XML_Char** attributes) {
    TreeBuilder& self = Of(data);
    self.FlushText();
    self.current_ = self.current_.append_child(name);
    for (; attributes[0]; attributes += 2) {
      self.current_.append_attribute(attributes[0]).set_value(attributes[1]);
    }
  }

  static void XMLCALL OnEnd(void* data, const XML_Char*) {
    TreeBuilder& self = Of(data);
    self.FlushText();
    self.current_ = self.current_.parent();
  }

  static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    Of(data).text_.append(text, static_cast<std::size_t>(length));
  }

  static void XMLCALL OnCdataStart(void* data) { Of(data).FlushText(); }

  static void XMLCALL OnCdataEnd(void* data) {
    TreeBuilder& self = Of(data);
    // A CDATA section is a node even when it holds only white space.
    self.current_.append_child(pugi::node_cdata)
        .set_value(self.text_.data(), self.text_.size());
    self.text_.clear();
  }

  static void XMLCALL OnComment(void* data, const XML_Char* text) {
    TreeBuilder& self = Of(data);
    if (self.in_doctype_) {
      AppendMarkup("<!--" + std::string(text) + "-->", self.doctype_);
      return;
    }
    self.FlushText();
    self.current_.append_child(pugi::node_comment).set_value(text);
  }

  static void XMLCALL OnPi(void* data, const XML_Char* target,
                           const XML_Char* text) {
    TreeBuilder& self = Of(data);
    if (self.in_doctype_) {
      std::string markup = "<?" + std::string(target);
      if (*text) markup += " " + std::string(text);
      AppendMarkup(markup + "?>", self.doctype_);
      return;
    }
    self.FlushText();
    pugi::xml_node pi = self.current_.append_child(pugi::node_pi);
    pi.set_name(target);
    pi.set_value(text);
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
    TreeBuilder& self = Of(XML_GetUserData(parser));
    self.refusal_ = "Reference to the external entity \"" +
                    std::string(system_id ? system_id : "") + "\" (never read)";
    return XML_STATUS_ERROR;
  }

  XML_Parser parser_;
  pugi::xml_document& tree_;
  pugi::xml_node current_;
  std::string text_;
  bool in_doctype_ = false;
  bool has_internal_subset_ = false;
  std::string doctype_;
  std::optional<std::string> refusal_;
};

// The encoding a declaration names that expat does not read itself.
int XMLCALL NoteUnknownEncoding(void* data, const XML_Char* name,
                                XML_Encoding*) {
  *static_cast<std::string*>(data) = name;
  return XML_STATUS_ERROR;
}

enum class Outcome { kDone, kFailed, kUnknownEncoding };

// One pass of expat over `bytes`. With `utf8` set the bytes are UTF-8
// whatever the declaration names (they were converted from it).
Outcome Parse(std::string_view bytes, bool utf8, pugi::xml_document& tree,
              ReadFailure& failure, std::string& unknown_encoding) {
  tree.reset();
  const Parser parser(XML_ParserCreate(utf8 ? "UTF-8" : nullptr));
  if (!parser) {
    failure.reason = "out of memory";
    return Outcome::kFailed;
  }
  TreeBuilder builder(parser.get(), tree);
  if (!utf8) {
    XML_SetUnknownEncodingHandler(parser.get(), &NoteUnknownEncoding,
                                  &unknown_encoding);
  }
  // One call with the whole text: XML_Parse takes an int length, so a
  // larger file goes in pieces.
  constexpr std::size_t kPiece = 1 << 30;
  XML_Status status = XML_STATUS_OK;
  do {
    const std::size_t size = std::min(bytes.size(), kPiece);
    status = XML_Parse(parser.get(), bytes.data(), static_cast<int>(size),
                       size == bytes.size());
    bytes.remove_prefix(size);
  } while (status == XML_STATUS_OK && !bytes.empty());
  if (status == XML_STATUS_OK) return Outcome::kDone;

  const XML_Error code = XML_GetErrorCode(parser.get());
  tree.reset();
  if (code == XML_ERROR_UNKNOWN_ENCODING && !unknown_encoding.empty()) {
    return Outcome::kUnknownEncoding;
  }
  failure.line = XML_GetCurrentLineNumber(parser.get());
  failure.column = XML_GetCurrentColumnNumber(parser.get()) + 1;
  if (builder.refusal()) {
    failure.reason = *builder.refusal();
  } else {
    failure.reason =
        "Not well-formed XML (" + std::string(XML_ErrorString(code)) + ")";
  }
  return Outcome::kFailed;
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

// True when the document's declaration names ISO-8859-1, which expat reads
// itself.
bool DeclaresLatin1(const pugi::xml_document& tree) {
  const pugi::xml_node declaration = tree.first_child();
  if (declaration.type() != pugi::node_declaration) return false;
  const std::string_view name = declaration.attribute("encoding").value();
  constexpr std::string_view kLatin1 = "ISO-8859-1";
  return name.size() == kLatin1.size() &&
         std::equal(name.begin(), name.end(), kLatin1.begin(),
                    [](char a, char b) {
                      return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
                    });
}

}  // namespace

bool ReadXml(std::string_view bytes, const TextDecoder& decoder,
             pugi::xml_document& tree, ReadFailure& failure) {
  std::string encoding;
  const Outcome outcome = Parse(bytes, false, tree, failure, encoding);
  // (A byte-order mark, which expat follows over the declaration, rules it
  // out.)
  if (outcome == Outcome::kDone && bytes.substr(0, 5) == "<?xml" &&
      DeclaresLatin1(tree)) {
    // expat's own ISO-8859-1 reading takes a few characters for name
    // characters (U+00AA, U+00B5, U+00BA) that XML's Name rule leaves out,
    // so a report written from such a name would not read back. The text is
    // read again as UTF-8 (each Latin-1 byte is the code point of its
    // value), under the same rules as every other document.
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
    std::string ignored;
    return Parse(utf8, true, tree, failure, ignored) == Outcome::kDone;
  }
  if (outcome != Outcome::kUnknownEncoding) return outcome == Outcome::kDone;

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
  std::string ignored;
  return Parse(decoded.text, true, tree, failure, ignored) == Outcome::kDone;
}

}  // namespace tavrolin::xml
