// The tag-list loader on arbitrary bytes: a load either fails with a reason
// or gives a document whose serialisation loads again to the same text; and
// the document read through once (as the category report reads it) fails
// alike, or saves to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_services.h"

namespace {

class Ignored : public tavrolin::xml::ContentHandler {
 public:
  void StartElement(std::string_view) override {}
  void EndElement(std::size_t) override {}
  void Leaf(tavrolin::xml::NodeKind, std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static tavrolin::fuzz::FuzzServices fuzz("tags.xml");
  const std::string& input = fuzz.WriteInput(data, size);
  tavrolin::xml::Document document{tavrolin::SystemTextDecoder()};
  tavrolin::xml::StreamedDocument streamed{tavrolin::SystemTextDecoder()};
  Ignored ignored;
  const bool read = streamed.Read(*tavrolin::OpenInputFile(input), ignored);
  if (!document.Load(*tavrolin::OpenInputFile(input))) {
    if (document.load_error().empty()) std::abort();
    if (read || streamed.load_error() != document.load_error()) std::abort();
    return 0;
  }
  if (!read) std::abort();
  tavrolin::testing::CollectedText saved;
  const tavrolin::xml::ElementName name("Value");
  streamed.Save("UTF-8", saved, name, {}, true);
  const std::string text = tavrolin::testing::SavedText(document, "UTF-8");
  if (saved.text_ != text) std::abort();
  // And in an encoding other than UTF-8, whose name the declaration carries
  // when the text goes beyond ASCII.
  tavrolin::testing::CollectedText saved_1252;
  streamed.Save("windows-1252", saved_1252, name, {}, true);
  if (saved_1252.text_ !=
      tavrolin::testing::SavedText(document, "windows-1252")) {
    std::abort();
  }
  tavrolin::fuzz::CheckReportReadsBack(fuzz, text + "\r\n");
  return 0;
}
