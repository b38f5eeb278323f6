// The tag-list loader on arbitrary bytes: a load either fails with a reason
// or gives a document whose serialisation loads again to the same text.
#include <cstdint>
#include <cstdlib>

#include "tests/fuzz/fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static tavrolin::fuzz::FuzzServices fuzz("tags.xml");
  const std::string& input = fuzz.WriteInput(data, size);
  tavrolin::xml::Document document;
  if (!document.Load(input)) {
    if (document.load_error().empty()) std::abort();
    return 0;
  }
  tavrolin::fuzz::CheckReportReadsBack(fuzz,
                                       document.Serialize("UTF-8") + "\r\n");
  return 0;
}
