// The template report on arbitrary tag lists, with the in-process stand-in
// historian: a report written parses back, and a tag list that does not
// load never writes one.
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "reports/template_report.h"
#include "tests/fuzz/fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static tavrolin::fuzz::FuzzServices fuzz("tags.xml");
  const std::string& input = fuzz.WriteInput(data, size);
  fuzz.writer().report.reset();
  try {
    tavrolin::MakeTemplateReport(fuzz.services(), input, fuzz.File("out.xml"));
  } catch (const tavrolin::Error&) {
    // A failed run is reported by the host's trap; only what it wrote counts.
  }
  tavrolin::xml::Document document;
  const bool loads = document.Load(input);
  if (!fuzz.writer().report) return 0;
  if (!loads) std::abort();  // a report from a tag list that does not load
  tavrolin::fuzz::CheckReportReadsBack(fuzz, *fuzz.writer().report);
  return 0;
}
