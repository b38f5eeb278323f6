// The one output channel for report files.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"

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
  // fixed size, so the report is never held whole in memory; the first write
  // that fails ends the run of `produce` with the failure. On failure throws
  // ReportFileError and leaves the previous file unchanged; no temporary file
  // or handle is left behind. A previous report that is not a file, or that
  // this process may not write, fails before `produce` runs. An exception
  // from `produce` passes on unchanged, with the previous file kept as well.
  virtual void ReplaceWith(const std::string& path,
                           const ReportProducer& produce) = 0;
  // Removes the temporary files that an earlier writer of the report at
  // `path` left beside it when it was killed in the middle of a ReplaceWith.
  // Called at start-up, before this process writes any report, so a
  // temporary file that carries this process's own number is a leftover of
  // an earlier process that had the same number. Files of other writers
  // still running, and every other file, stay. Throws Error (75, naming the
  // file) for a leftover that cannot be removed, after trying the others. A
  // writer that leaves no temporary files has none.
  virtual void RemoveLeftovers(const std::string& /*path*/) {}
};

// The writer of the system this build is for.
std::unique_ptr<ReportFileWriter> CreateReportFileWriter();

// What both systems' writers share lives here rather than in reports/: the
// writers are built below the report builders and may not reach up to them.
// It holds no system call.

// The failure of the report file at `path`, for the reason given (the
// system's description of the error, as a rule): error 75, "Cannot write the
// report file PATH: REASON".
Error ReportFileError(const std::string& path, std::string_view reason);

// Collects a report's bytes in a buffer of fixed size and hands the buffer to
// `write_through` whenever it is full (a piece larger than the buffer goes
// through directly). `write_through` writes all it is given or throws, so the
// first failed write ends the report at once.
class BufferedReportSink final : public ReportSink {
 public:
  using WriteThrough = std::function<void(std::string_view)>;

  explicit BufferedReportSink(WriteThrough write_through);
  void Write(std::string_view bytes) override;
  // Hands on what the buffer holds.
  void Flush();

  static constexpr std::size_t kCapacity = std::size_t{64} * 1024;

 private:
  WriteThrough write_through_;
  std::string buffer_;
};

}  // namespace tavrolin
