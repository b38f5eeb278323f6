// The one output channel for report files.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tavrolin {

// Takes the bytes of a report piece by piece, in order.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual void Write(std::string_view bytes) = 0;
};

// Writes a report's bytes into the sink it is given.
using ReportProducer = std::function<void(ReportSink&)>;

class ReportFileWriter {
 public:
  virtual ~ReportFileWriter() = default;
  // Replaces the file at `path` with the bytes that `produce` writes into the
  // sink, as one step: a reader finds either the previous complete file or
  // the new one. The bytes go to the disk as they come, through a buffer of
  // fixed size, so the report is never held whole in memory. On failure
  // throws Error (75, naming the file and the reason) and leaves the previous
  // file unchanged; no temporary file or handle is left behind. An exception
  // from `produce` passes on unchanged, with the previous file kept as well.
  virtual void ReplaceWith(const std::string& path,
                           const ReportProducer& produce) = 0;
  // Removes the temporary files that an earlier writer of the report at
  // `path` left beside it when it was killed in the middle of a ReplaceWith;
  // files of writers still running, and every other file, stay. Throws
  // Error (75, naming the file) for a leftover that cannot be removed, after
  // trying the others. A writer that leaves no temporary files has none.
  virtual void RemoveLeftovers(const std::string& /*path*/) {}
};

// The writer of the system this build is for.
std::unique_ptr<ReportFileWriter> CreateReportFileWriter();

}  // namespace tavrolin
