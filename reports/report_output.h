// Report file writing, shared by both report builders: the whole serialised
// document in the system's code page, followed by CR LF, replacing the
// previous report in one step.
#pragma once

#include <string>

#include "platform/code_page.h"
#include "platform/report_file.h"
#include "platform/xml_document.h"

namespace tavrolin {

void WriteReport(xml::Document& document, const std::string& output_path,
                 const CodePage& code_page, ReportFileWriter& writer);

}  // namespace tavrolin
