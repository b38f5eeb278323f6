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

// Items are counted with a signed 16-bit index: a category holds at most this
// many items, and a longer one fails rather than being cut short, so that a
// report never silently leaves points out.
constexpr int16_t kLastIndex = INT16_MAX;

std::string Where(std::string_view category, const std::string& input_file) {
  return "<" + std::string(category) + "> of " + input_file;
}

}  // namespace

void MakeCategoryReport(ReportServices& services, const std::string& input_file,
                        const std::string& output_path) {
  const xml::ElementName value_element("Value");
  xml::Document document;
  // A file that cannot be loaded leaves the document empty, and the run
  // fails with the reason the file was not read.
  if (!document.Load(input_file)) {
    throw Error(errnum::kObjectNotSet, document.load_error());
  }

  for (const Category& category : kCategories) {
    xml::Node element = document.FirstElementByTagName(category.name);
    if (!element) {
      throw Error(errnum::kObjectNotSet,
                  "The element <" + std::string(category.name) +
                      "> was not found in " + input_file);
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

    std::string point_name;
    for (int16_t i = 0;; ++i) {
      xml::Node item = items.Item(i);
      const xml::Node name_node = item.ChildAt(1);
      if (!name_node) {
        throw Error(errnum::kObjectNotSet,
                    "Item " + std::to_string(i + 1) + " of " +
                        Where(category.name, input_file) + " has " +
                        std::to_string(item.ChildCount()) +
                        " child node(s); the point name is its second");
      }
      point_name = name_node.Text();
      item.AppendTextElement(
          value_element, (services.readers.*category.reader)(0, point_name));
      ++services.values_written;
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
