// Report files replaced in one step: written to a temporary file in the same
// folder, flushed to disk and moved over the previous report.
#pragma once

#include "platform/report_file.h"

namespace tavrolin::windows {

class AtomicReportFileWriter : public ReportFileWriter {
 public:
  void ReplaceWith(const std::string& path,
                   const ReportProducer& produce) override;
};

}  // namespace tavrolin::windows
