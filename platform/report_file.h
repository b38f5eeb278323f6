// The one output channel for report files.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tavrolin {

class ReportFileWriter {
 public:
  virtual ~ReportFileWriter() = default;
  // Replaces the file at `path` with `bytes` as one step: a reader finds
  // either the previous complete file or the new one. On failure throws
  // Error (75, naming the file and the reason) and leaves the previous file
  // unchanged; no temporary file or handle is left behind.
  virtual void Replace(const std::string& path, std::string_view bytes) = 0;
  // Removes the temporary files that an earlier writer of the report at
  // `path` left beside it when it was killed in the middle of a Replace;
  // files of writers still running, and every other file, stay. Throws
  // Error (75, naming the file) for a leftover that cannot be removed, after
  // trying the others. A writer that leaves no temporary files has none.
  virtual void RemoveLeftovers(const std::string& /*path*/) {}
};

// The writer of the system this build is for.
std::unique_ptr<ReportFileWriter> CreateReportFileWriter();

}  // namespace tavrolin
