// Report files replaced in one step: written to a temporary file in the same
// folder, flushed to disk and moved over the previous report.
#pragma once

#include "platform/report_file.h"

namespace tavrolin::windows {

class AtomicReportFileWriter : public ReportFileWriter {
 public:
  void Replace(const std::string& path, std::string_view bytes) override;
};

}  // namespace tavrolin::windows
