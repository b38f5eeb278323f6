// The category report: the points of the four categories of a tag list, each
// with its current value or state added.
#pragma once

#include <string>

#include "reports/report_services.h"

namespace tavrolin {

// Builds the report of `input_file` and writes it to `output_path`. Raises
// Error on any failure; the previous report is then left as it was.
void MakeCategoryReport(ReportServices& services, const std::string& input_file,
                        const std::string& output_path);

}  // namespace tavrolin
