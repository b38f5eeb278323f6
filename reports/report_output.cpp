#include "reports/report_output.h"

namespace tavrolin {

void WriteReport(xml::Document& document, const std::string& output_path,
                 const CodePage& code_page, ReportFileWriter& writer) {
  writer.Replace(
      output_path,
      code_page.FromUtf8(document.Serialize(code_page.XmlEncodingName())) +
          "\r\n");
}

}  // namespace tavrolin
