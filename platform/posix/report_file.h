// Report files replaced in one step: written to a temporary file in the same
// folder, flushed to disk and renamed over the previous report.
#pragma once

#include <sys/types.h>

#include "platform/report_file.h"

namespace tavrolin::posix {

// A report that is a symbolic link is written through it: the new file is
// made in the folder of the file the link leads to and renamed over that
// file, so the link and its target both stay. The new report has the
// permission bits of the previous one without setuid, setgid and sticky, or
// for a new report those of the process's file mode mask; until then the
// temporary file is readable by its owner only.
class AtomicReportFileWriter : public ReportFileWriter {
 public:
  // Reads the process's file mode mask, which cannot be read without being
  // set for a moment: a writer is made at start-up, before other threads.
  AtomicReportFileWriter();

  void ReplaceWith(const std::string& path,
                   const ReportProducer& produce) override;
  // The leftovers are ".NAME.PID.N.N.tmp" beside the report NAME (beside the
  // file a link leads to) whose writing process PID no longer runs.
  void RemoveLeftovers(const std::string& path) override;

 private:
  mode_t new_file_mode_;
};

}  // namespace tavrolin::posix
