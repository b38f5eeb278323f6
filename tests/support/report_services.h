// The report builders' services as the tests give them: the stand-in
// historian through the system's real loader, a fixed clock, a UTF-8 code
// page, the system's real report writer and a progress count.
#pragma once

#include <memory>
#include <string>

#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "reports/report_services.h"
#include "tests/support/errors.h"
#include "tests/support/fake_platform.h"
#include "tests/support/settings.h"

namespace tavrolin::testing {

class TestReportServices {
 public:
  explicit TestReportServices(
      const HistorianLibraryNames& names = StubLibraryNames());
  TestReportServices(const TestReportServices&) = delete;
  TestReportServices& operator=(const TestReportServices&) = delete;

  FakeClock clock;
  DateSettings date_settings;
  Utf8CodePage code_page;
  FakePlatform::CountingProgress progress;

 private:
  std::unique_ptr<LibraryLoader> loader_ = CreateLibraryLoader();
  basPI_API api_;
  Module1 readers_;
  std::unique_ptr<ReportFileWriter> writer_ = CreateReportFileWriter();

 public:
  ReportServices services;
};

}  // namespace tavrolin::testing
