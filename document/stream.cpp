// The one-pass stream: a tag list read through once and kept as its
// serialised text, saved with elements added at places noted while it was
// read; and elements written straight as text.
#include <cstring>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "document/document.h"
#include "document/reader.h"
#include "document/serialise.h"
#include "document/text.h"
#include "platform/error.h"

namespace tavrolin::xml {
namespace {

// Writes an element with the text as its only content into `out`, as
// ElementStream::AddTextElement writes it.
void AppendTextElement(std::string_view tag, std::string_view text,
                       std::string& out) {
  std::string repaired;
  if (!IsPlainAscii(text)) {
    repaired = ToXmlSafeUtf8(text);
    text = repaired;
  }
  const std::size_t before = out.size();
  out.resize(before + TextElementRoom(tag, text));
  char* at = out.data() + before;
  PutTextElement(tag, text, at);
  out.resize(static_cast<std::size_t>(at - out.data()));
}

// Serialises a document from the reader's events, exactly as its tree would
// be saved but for the declaration, which is kept apart, and passes the
// content on to a ContentHandler, noting whether every name and text of it
// is ASCII. Elements without attributes and texts, the bulk of a document,
// are written here; everything else is printed by pugixml, from a scratch
// node.
class Recorder : public ReadEvents {
 public:
  Recorder(ContentHandler& handler, TextBlocks& out,
           std::optional<DeclarationFields>& declaration)
      : handler_(handler), out_(out), writer_(out), declaration_(declaration) {}
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
      for (const char** attribute = attributes; *attribute; ++attribute) {
        Note(*attribute);
      }
      out_.Append(start_tag_.Print(name, attributes));
    }
    start_tag_open_ = true;
    handler_.StartElement(name_text);
  }
  void EndElement(const char* name) override {
    handler_.EndElement(out_.size());
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
    out_.Reserve(EscapedRoom(text.size()));
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
    Print(node, writer_);
    scratch_.remove_child(node);
  }

  ContentHandler& handler_;
  TextBlocks& out_;
  BlocksWriter writer_;
  std::optional<DeclarationFields>& declaration_;
  pugi::xml_document scratch_;
  StartTagPrinter start_tag_;
  bool start_tag_open_ = false;
  bool ascii_ = true;
};

}  // namespace

void ElementStream::EndStartTag() {
  if (start_tag_open_) text_.Put('>');
  start_tag_open_ = false;
}

void ElementStream::Open(const ElementName& name) {
  EndStartTag();
  ascii_ = ascii_ && tavrolin::IsAscii(name.text());
  text_.Put('<');
  text_.Append(name.text());
  start_tag_open_ = true;
}

void ElementStream::Close(const ElementName& name) {
  if (start_tag_open_) {
    text_.Append("/>");
    start_tag_open_ = false;
    return;
  }
  text_.Append("</");
  text_.Append(name.text());
  text_.Put('>');
}

void ElementStream::AddTextElement(const ElementName& name,
                                   std::string_view text) {
  EndStartTag();
  ascii_ = ascii_ && tavrolin::IsAscii(name.text());
  thread_local std::string repaired;
  if (!IsPlainAscii(text)) {
    ascii_ = false;
    repaired = ToXmlSafeUtf8(text);
    text = repaired;
  }
  text_.Reserve(TextElementRoom(name.text(), text));
  PutTextElement(name.text(), text, text_.Next());
}

void ElementStream::Clear() {
  text_.Clear();
  ascii_ = true;
  start_tag_open_ = false;
}

void ElementStream::WriteTo(TextSink& out) const {
  text_.ForEach([&out](std::string_view block) { out.Write(block); });
}

StreamedDocument::StreamedDocument(const TextDecoder& decoder)
    : declaration_(std::make_unique<ReadDeclaration>()), decoder_(&decoder) {}
StreamedDocument::~StreamedDocument() = default;

bool StreamedDocument::Read(InputFile& file, ContentHandler& handler) {
  text_.Clear();
  declaration_->fields.reset();
  load_error_.clear();
  bool read = false;
  {
    // Only the serialised text is held.
    Recorder recorder(handler, text_, declaration_->fields);
    read = ReadTagList(file, *decoder_, recorder, load_error_);
    ascii_ = recorder.ascii();
  }
  if (!read) {
    text_.Clear();
    declaration_->fields.reset();
  }
  return read;
}

void StreamedDocument::Save(std::string_view encoding_name, TextSink& out,
                            const ElementName& name,
                            const std::vector<Addition>& additions,
                            bool added_ascii) {
  CarriageReturnSink escaped(out);
  WriteDeclaration(
      declaration_->fields, encoding_name,
      !(ascii_ && (additions.empty() || (added_ascii && IsAscii(name.text())))),
      escaped);

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
  text_.ForEach([&](std::string_view block) {
    const std::size_t end = place + block.size();
    std::size_t done = 0;
    for (; addition != additions.end() && addition->place <= end; ++addition) {
      if (addition->place < place + done) {
        throw Error(errnum::kXmlFailure, "Elements added out of order");
      }
      const std::size_t at = addition->place - place;
      piece.append(block.substr(done, at - done));
      done = at;
      AppendTextElement(name.text(), *addition->text, piece);
      pass_on(true);
    }
    if (block.size() - done >= kPiece) {
      pass_on(false);
      escaped.Write(block.substr(done));
    } else {
      piece.append(block.substr(done));
      pass_on(true);
    }
    place = end;
  });
  pass_on(false);
  if (addition != additions.end()) {
    throw Error(errnum::kXmlFailure,
                "An element added past the document's end");
  }
}

}  // namespace tavrolin::xml
