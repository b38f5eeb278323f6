#include "reports/report_output.h"

namespace tavrolin {

void WriteReport(xml::Document& document, const std::string& output_path,
                 const CodePage& code_page, ReportFileWriter& writer) {
  std::string bytes =
      code_page.FromUtf8(document.Serialize(code_page.XmlEncodingName()));
  bytes += "\r\n";
  writer.Replace(output_path, bytes);
}

}  // namespace tavrolin
