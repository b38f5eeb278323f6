// The category report on arbitrary tag lists, with the in-process stand-in
// historian: a report written parses back, and a tag list that does not
// load never writes one.
#include <cstddef>
#include <cstdint>

#include "reports/category_report.h"
#include "tests/fuzz/fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static tavrolin::fuzz::FuzzServices fuzz("tags.xml");
  return tavrolin::fuzz::CheckReportOfInput(fuzz, data, size,
                                            &tavrolin::MakeCategoryReport);
}
