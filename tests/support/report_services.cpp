#include "tests/support/report_services.h"

#include <exception>

#include "platform/error.h"

namespace tavrolin::testing {

TestReportServices::TestReportServices(const HistorianLibraryNames& names)
    : api_(*loader_, names),
      readers_(api_, date_settings, code_page),
      services{readers_, clock, date_settings, code_page, *writer_, &progress} {
}

std::string FailureOf(const std::function<void()>& build) {
  try {
    build();
  } catch (const std::exception& e) {
    const Error error = ToError(e);
    return "[" + std::to_string(error.number()) + "] " + error.description();
  }
  return "";
}

}  // namespace tavrolin::testing
