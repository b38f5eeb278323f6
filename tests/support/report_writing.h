// A whole report written through a report file writer in one step.
#pragma once

#include <string>
#include <string_view>

#include "platform/report_file.h"

namespace tavrolin::testing {

inline void WriteReport(ReportFileWriter& writer, const std::string& path,
                        std::string_view bytes) {
  writer.ReplaceWith(path, [bytes](ReportSink& sink) { sink.Write(bytes); });
}

inline void WriteReport(ReportFileWriter&& writer, const std::string& path,
                        std::string_view bytes) {
  WriteReport(writer, path, bytes);
}

}  // namespace tavrolin::testing
