// The template report: a template tag list expanded over a family of systems,
// one record per system and template item, with the item's value.
#pragma once

#include <string>

#include "reports/report_services.h"

namespace tavrolin {

// Builds the report of `input_file` and writes it to `output_path`. Raises
// Error on any failure; the previous report is then left as it was.
void MakeTemplateReport(ReportServices& services, const std::string& input_file,
                        const std::string& output_path);

}  // namespace tavrolin
