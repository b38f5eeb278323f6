// Report file writing, shared by both report builders: the whole serialised
// document in the system's code page, followed by CR LF, replacing the
// previous report in one step.
#pragma once

#include <string>
#include <string_view>

#include "document/document.h"
#include "platform/code_page.h"
#include "platform/report_file.h"

namespace tavrolin {

// Writes the document; the elements of `records`, when given, stand after
// the existing children of `records_parent`. The text goes to the file as it
// is serialised, converted to the code page on the way.
void WriteReport(xml::Document& document, const std::string& output_path,
                 const CodePage& code_page, ReportFileWriter& writer,
                 const xml::Node& records_parent = xml::Node(),
                 const xml::ElementStream* records = nullptr);

// Passes UTF-8 text on to a report sink in the code page, piece by piece. A
// character split between two pieces is held back until it is whole, so the
// bytes are those of converting the whole text at once.
class CodePageSink : public xml::TextSink {
 public:
  CodePageSink(const CodePage& code_page, ReportSink& out)
      : code_page_(code_page), out_(out) {}
  void Write(std::string_view text) override;
  // Writes what is held back (only an incomplete character at the very end
  // of the text).
  void Finish();

 private:
  const CodePage& code_page_;
  ReportSink& out_;
  std::string pending_;
};

}  // namespace tavrolin
