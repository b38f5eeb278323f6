#include "reports/report_output.h"

namespace tavrolin {
namespace {

// The length of the incomplete UTF-8 sequence at the end of `text`: 0 when
// the text ends with a whole character (or with bytes that start none).
std::size_t IncompleteTail(std::string_view text) {
  const std::size_t last = text.size() < 3 ? text.size() : 3;
  for (std::size_t back = 1; back <= last; ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const std::size_t length = (byte & 0xE0) == 0xC0   ? 2
                               : (byte & 0xF0) == 0xE0 ? 3
                               : (byte & 0xF8) == 0xF0 ? 4
                                                       : 1;
    return length > back ? back : 0;
  }
  return 0;
}

}  // namespace

void CodePageSink::Write(std::string_view text) {
  if (code_page_.IsUtf8()) {
    out_.Write(text);
    return;
  }
  // Complete the held-back character with the first bytes of this piece.
  while (!pending_.empty() && !text.empty()) {
    pending_.push_back(text.front());
    text.remove_prefix(1);
    if (IncompleteTail(pending_) == 0) {
      out_.Write(code_page_.FromUtf8(pending_));
      pending_.clear();
    }
  }
  if (text.empty()) return;
  const std::size_t tail = IncompleteTail(text);
  if (text.size() > tail) {
    out_.Write(code_page_.FromUtf8(text.substr(0, text.size() - tail)));
  }
  pending_.assign(text.substr(text.size() - tail));
}

void CodePageSink::Finish() {
  if (!pending_.empty()) out_.Write(code_page_.FromUtf8(pending_));
  pending_.clear();
}

void WriteReport(xml::Document& document, const std::string& output_path,
                 const CodePage& code_page, ReportFileWriter& writer,
                 const xml::Node& records_parent,
                 const xml::ElementStream* records) {
  const std::string encoding_name = code_page.XmlEncodingName();
  writer.ReplaceWith(output_path, [&](ReportSink& sink) {
    CodePageSink text(code_page, sink);
    document.Save(encoding_name, text, records_parent, records);
    text.Finish();
    sink.Write("\r\n");
  });
}

}  // namespace tavrolin
