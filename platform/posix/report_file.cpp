#include "platform/posix/report_file.h"

#include <fstream>

#include "platform/error.h"

namespace tavrolin::posix {

// Placeholder: a plain write until the atomic replacement lands.
void AtomicReportFileWriter::Replace(const std::string& path,
                                     std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw Error(errnum::kPathAccess, "Cannot write " + path);
}

}  // namespace tavrolin::posix

namespace tavrolin {

std::unique_ptr<ReportFileWriter> CreateReportFileWriter() {
  return std::make_unique<posix::AtomicReportFileWriter>();
}

}  // namespace tavrolin
