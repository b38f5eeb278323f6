#include "reports/category_report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/xml_document.h"
#include "reports/report_output.h"

namespace tavrolin {
namespace {

using Reader = std::string (Module1::*)(int32_t, std::string&);

struct Category {
  std::string_view name;
  Reader reader;
};

// The categories in the order they are filled, each with its reader.
constexpr Category kCategories[] = {
    {"analog", &Module1::GetSnapshotText},
    {"analog2", &Module1::GetSnapshotText},
    {"digital", &Module1::GetDigitalStateText},
    {"breaker", &Module1::GetDigitalStateText},
};

// Items are counted with a signed 16-bit index, as the tag lists of the
// earlier service were: a category holds at most this many items.
constexpr int16_t kLastIndex = INT16_MAX;

constexpr std::string_view kValueElement = "Value";

std::string Where(std::string_view category, const std::string& input_file) {
  return "<" + std::string(category) + "> of " + input_file;
}

}  // namespace

void MakeCategoryReport(ReportServices& services, const std::string& input_file,
                        const std::string& output_path) {
  xml::Document document;
  // A file that cannot be loaded leaves the document empty; the run then
  // fails at the first category, and says why the document is empty.
  document.Load(input_file);

  for (const Category& category : kCategories) {
    xml::Node element = document.FirstElementByTagName(category.name);
    if (!element) {
      std::string description = "The element <" + std::string(category.name) +
                                "> was not found in " + input_file;
      if (!document.load_error().empty()) {
        description +=
            ": the document is empty because " + document.load_error();
      }
      throw Error(errnum::kObjectNotSet, description);
    }

    const xml::NodeList items = element.ChildNodes();
    const std::size_t count = items.Length();
    if (count == 0) continue;
    if (count - 1 > static_cast<std::size_t>(kLastIndex)) {
      throw Error(errnum::kOverflow,
                  "Overflow: " + Where(category.name, input_file) + " holds " +
                      std::to_string(count) +
                      " items; a category holds at most " +
                      std::to_string(kLastIndex) + " items");
    }

    for (int16_t i = 0;; ++i) {
      xml::Node value = document.CreateElement(kValueElement);

      const xml::NodeList children = items.Item(i).ChildNodes();
      const xml::Node name_node = children.Item(1);
      if (!name_node) {
        throw Error(errnum::kObjectNotSet,
                    "Item " + std::to_string(i + 1) + " of " +
                        Where(category.name, input_file) + " has " +
                        std::to_string(children.Length()) +
                        " child node(s); the point name is its second");
      }
      std::string point_name = name_node.Text();
      value.SetText((services.readers.*category.reader)(0, point_name));

      xml::Node item = items.Item(i);
      item.AppendChild(value);
      services.Advance();

      if (i == kLastIndex) {
        // Only reached with exactly one item more than the index can count:
        // every item has been read, and the index cannot step on past it.
        throw Error(errnum::kOverflow,
                    "Overflow after item " + std::to_string(i + 1) + " of " +
                        Where(category.name, input_file) +
                        ": a category holds at most " +
                        std::to_string(kLastIndex) + " items");
      }
      if (static_cast<std::size_t>(i) + 1 == count) break;
    }
  }

  WriteReport(document, output_path, services.code_page, services.writer);
}

}  // namespace tavrolin
