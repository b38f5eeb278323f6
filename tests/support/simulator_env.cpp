#include "tests/support/simulator_env.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "document/document.h"

namespace tavrolin::simulator::testing {
namespace {

template <typename Condition>
void Check(const Condition& condition, const std::string& what) {
  if (!condition) throw std::runtime_error("example tag list: " + what);
}

}  // namespace

void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

void SetTimeZone(const char* zone) {
  SetEnv("TZ", zone);
#if defined(_WIN32)
  _tzset();
#else
  tzset();
#endif
}

HistorianLibraryNames SimulatorLibraryNames() {
#if defined(_WIN32)
  // Windows looks beside the executable first.
  return {"piapi32.dll", "pilog32.dll"};
#else
  // The full paths in the build's output folder, beside the test, so that
  // the libraries are found however the loader is called.
  HistorianLibraryNames names{"libpiapi32.so", "libpilog32.so"};
  const char* bin = std::getenv("TAVROLIN_TEST_BIN");
  if (bin != nullptr && *bin != '\0') {
    names.client = (std::filesystem::path(bin) / names.client).string();
    names.login = (std::filesystem::path(bin) / names.login).string();
  }
  return names;
#endif
}

std::filesystem::path ExamplesFolder() {
  return std::filesystem::path(TAVROLIN_SOURCE_DIR) / "examples";
}

std::vector<ExampleReading> ExampleReadings() {
  std::vector<ExampleReading> readings;
  const auto folder = ExamplesFolder();
  xml::Document tags{SystemTextDecoder()};
  Check(tags.Load(*OpenInputFile((folder / "tags.xml").string())), "tags.xml");
  for (const char* category : {"analog", "analog2", "digital", "breaker"}) {
    const xml::Node element = tags.FirstElementByTagName(category);
    Check(element, category);
    const bool digital = category[0] == 'd' || category[0] == 'b';
    for (xml::Node item = element.ChildAt(0); item; item = item.NextSibling()) {
      ExampleReading reading;
      reading.point = item.ChildAt(1).Text();
      reading.kind = digital ? "STATE" : "SNAPSHOT";
      readings.push_back(reading);
    }
  }
  for (const char* list : {"tags3.xml", "tags2.xml"}) {
    xml::Document doc{SystemTextDecoder()};
    Check(doc.Load(*OpenInputFile((folder / list).string())), list);
    const xml::Node selector = doc.FirstElementByTagName("system").ChildAt(0);
    const std::string mode = selector.ChildAt(0).Text();
    const std::string systems = selector.ChildAt(1).Text();
    std::vector<std::string> names_of_systems;
    if (mode == "custom") {
      std::size_t start = 0;
      for (;;) {
        const auto comma = systems.find(',', start);
        names_of_systems.push_back(systems.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else {
      const int first = std::stoi(systems);
      const int last = std::stoi(systems.substr(systems.find(',') + 1));
      for (int i = first; i <= last; ++i) {
        names_of_systems.push_back((i < 10 ? "A0" : "A") + std::to_string(i));
      }
    }
    for (xml::Node item = doc.FirstElementByTagName("XXX").ChildAt(0); item;
         item = item.NextSibling()) {
      const xml::Node kind_node = item.ChildAt(2);
      std::string kind = kind_node.Text();
      for (char& c : kind) c = static_cast<char>(std::toupper(c));
      const std::string pattern = item.ChildAt(1).Text();
      const auto attribute = [&](const char* name) {
        return kind_node.Attribute(name).value_or("");
      };
      for (const auto& system : names_of_systems) {
        ExampleReading reading;
        reading.point = pattern;
        reading.point.replace(reading.point.find("XXX"), 3, system);
        reading.kind = kind;
        const std::string code = attribute("code");
        reading.code = code.empty() ? 0 : std::stoi(code);
        reading.start = attribute("startdate");
        reading.end = attribute("enddate");
        reading.at = attribute("archdate");
        readings.push_back(reading);
      }
    }
  }
  return readings;
}

}  // namespace tavrolin::simulator::testing
