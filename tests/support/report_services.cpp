#include "tests/support/report_services.h"

namespace tavrolin::testing {

TestReportServices::TestReportServices(const HistorianLibraryNames& names)
    : api_(*loader_, names),
      readers_(api_, date_settings, code_page),
      services{readers_, clock, date_settings, code_page, *writer_, &progress} {
}

}  // namespace tavrolin::testing
