// The category report on arbitrary tag lists, with the in-process stand-in
// historian: a report written parses back, a tag list that does not load
// never writes one, and the report, the failure and the number of values are
// those of the same report built on the document tree, as a check of the
// one-pass reading of the tag list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "document/document.h"
#include "platform/error.h"
#include "reports/category_report.h"
#include "reports/report_output.h"
#include "tests/fuzz/fuzz_services.h"

namespace tavrolin::fuzz {
namespace {

using Reader = std::string (Module1::*)(int32_t, std::string&);

// The category report on the document tree, step by step as the builder's
// rules say: each category's first element looked up when its turn comes,
// after the values of the earlier ones were appended.
void TreeCategoryReport(ReportServices& services, const std::string& input,
                        const std::string& output) {
  static constexpr struct {
    const char* name;
    Reader reader;
  } kCategories[] = {
      {"analog", &Module1::GetSnapshotText},
      {"analog2", &Module1::GetSnapshotText},
      {"digital", &Module1::GetDigitalStateText},
      {"breaker", &Module1::GetDigitalStateText},
  };
  const xml::ElementName value_element("Value");
  xml::Document document{SystemTextDecoder()};
  if (!document.Load(*tavrolin::OpenInputFile(input))) {
    throw Error(errnum::kObjectNotSet, document.load_error());
  }
  for (const auto& category : kCategories) {
    xml::Node element = document.FirstElementByTagName(category.name);
    if (!element) throw Error(errnum::kObjectNotSet, "missing");
    const xml::NodeList items = element.ChildNodes();
    const std::size_t count = items.Length();
    if (count == 0) continue;
    if (count - 1 > 32767) throw Error(errnum::kOverflow, "too many");
    for (std::size_t i = 0; i < count; ++i) {
      xml::Node item = items.Item(i);
      const xml::Node name_node = item.ChildAt(1);
      if (!name_node) throw Error(errnum::kObjectNotSet, "no name");
      std::string point_name = name_node.Text();
      testing::AppendTextElement(
          item, value_element,
          (services.readers.*category.reader)(0, point_name));
      ++services.values_written;
      if (i == 32767) throw Error(errnum::kOverflow, "after the last");
    }
  }
  WriteReport(document, output, services.code_page, services.writer);
}

struct Outcome {
  std::optional<std::string> report;
  std::optional<int32_t> failure;
  std::size_t values = 0;
};

Outcome Run(FuzzServices& fuzz, const std::string& input,
            void (*build)(ReportServices&, const std::string&,
                          const std::string&)) {
  fuzz.writer().report.reset();
  fuzz.services().values_written = 0;
  Outcome outcome;
  try {
    build(fuzz.services(), input, fuzz.File("out.xml"));
  } catch (const Error& error) {
    outcome.failure = error.number();
  }
  outcome.report = fuzz.writer().report;
  outcome.values = fuzz.services().values_written;
  return outcome;
}

}  // namespace
}  // namespace tavrolin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tavrolin::fuzz;
  static FuzzServices fuzz("tags.xml");
  CheckReportOfInput(fuzz, data, size, &tavrolin::MakeCategoryReport);
  const std::string& input = fuzz.WriteInput(data, size);
  const Outcome streamed = Run(fuzz, input, &tavrolin::MakeCategoryReport);
  const Outcome tree = Run(fuzz, input, &TreeCategoryReport);
  if (streamed.report != tree.report || streamed.failure != tree.failure ||
      streamed.values != tree.values) {
    std::abort();
  }
  return 0;
}
