// What the report file writers of both systems share: their failure message
// and their buffer.
#include "platform/report_file.h"

#include <utility>

namespace tavrolin {

Error ReportFileError(const std::string& path, std::string_view reason) {
  return Error(errnum::kPathAccess, "Cannot write the report file " + path +
                                        ": " + std::string(reason));
}

BufferedReportSink::BufferedReportSink(WriteThrough write_through)
    : write_through_(std::move(write_through)) {
  buffer_.reserve(kCapacity);
}

void BufferedReportSink::Write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kCapacity) {
    Flush();
    if (bytes.size() >= kCapacity) {
      write_through_(bytes);
      return;
    }
  }
  buffer_.append(bytes);
}

void BufferedReportSink::Flush() {
  if (!buffer_.empty()) write_through_(buffer_);
  buffer_.clear();
}

}  // namespace tavrolin
