// Report files replaced in one step: written to a temporary file in the same
// folder, flushed to disk and renamed over the previous report.
#pragma once

#include "platform/report_file.h"

namespace tavrolin::posix {

class AtomicReportFileWriter : public ReportFileWriter {
 public:
  void ReplaceWith(const std::string& path,
                   const ReportProducer& produce) override;
  // The leftovers are ".NAME.PID.N.N.tmp" beside the report NAME whose
  // writing process PID no longer runs.
  void RemoveLeftovers(const std::string& path) override;
};

}  // namespace tavrolin::posix
