// What the report benchmarks share: a folder of their own and the report
// services over the stand-in historian, which answers at once (no script),
// with the clock fixed.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "platform/dynamic_library.h"
#include "platform/posix/code_page.h"
#include "platform/report_file.h"
#include "reports/report_services.h"

namespace tavrolin {

class BenchServices {
 public:
  // Writes `tag_list` as `input_name` in a new folder.
  BenchServices(const std::string& input_name, const std::string& tag_list)
      : folder_(std::filesystem::temp_directory_path() /
                ("tavrolin-bench-" + std::to_string(::getpid()))) {
    unsetenv("STUB_HISTORIAN_SCRIPT");
    unsetenv("STUB_HISTORIAN_LOG");
    std::filesystem::create_directories(folder_);
    input_ = (folder_ / input_name).string();
    output_ = (folder_ / "out.xml").string();
    std::ofstream(input_, std::ios::binary) << tag_list;
  }
  ~BenchServices() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  BenchServices(const BenchServices&) = delete;
  BenchServices& operator=(const BenchServices&) = delete;

  ReportServices& services() { return services_; }
  const std::string& input() const { return input_; }
  const std::string& output() const { return output_; }

 private:
  class FixedClock : public Clock {
   public:
    LocalDateTime Now() override { return {2026, 12, 6, 6, 43, 30}; }
  };

  std::filesystem::path folder_;
  std::string input_;
  std::string output_;
  std::unique_ptr<LibraryLoader> loader_ = CreateLibraryLoader();
  basPI_API api_{*loader_, {"libstub_piapi32.so", "libstub_pilog32.so"}};
  DateSettings date_settings_;
  posix::Utf8CodePage code_page_;
  Module1 readers_{api_, date_settings_, code_page_};
  FixedClock clock_;
  std::unique_ptr<ReportFileWriter> writer_ = CreateReportFileWriter();
  ReportServices services_{readers_, clock_, date_settings_, code_page_,
                           *writer_};
};

}  // namespace tavrolin
