#include "tests/support/simulator_env.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <pugixml.hpp>
#include <stdexcept>
#include <vector>

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
  pugi::xml_document tags;
  Check(tags.load_file((folder / "tags.xml").string().c_str()), "tags.xml");
  for (const char* category : {"analog", "analog2", "digital", "breaker"}) {
    const auto element =
        tags.select_node((std::string("//") + category).c_str());
    Check(element, category);
    const bool digital = category[0] == 'd' || category[0] == 'b';
    for (auto item : element.node().children()) {
      ExampleReading reading;
      reading.point = item.first_child().next_sibling().text().get();
      reading.kind = digital ? "STATE" : "SNAPSHOT";
      readings.push_back(reading);
    }
  }
  for (const char* list : {"tags3.xml", "tags2.xml"}) {
    pugi::xml_document doc;
    Check(doc.load_file((folder / list).string().c_str()), list);
    const auto selector = doc.select_node("//system").node().first_child();
    const std::string mode = selector.first_child().text().get();
    const std::string systems =
        selector.first_child().next_sibling().text().get();
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
    for (auto item : doc.select_node("//XXX").node().children()) {
      const auto kind_node = item.first_child().next_sibling().next_sibling();
      std::string kind = kind_node.text().get();
      for (char& c : kind) c = static_cast<char>(std::toupper(c));
      const std::string pattern =
          item.first_child().next_sibling().text().get();
      for (const auto& system : names_of_systems) {
        ExampleReading reading;
        reading.point = pattern;
        reading.point.replace(reading.point.find("XXX"), 3, system);
        reading.kind = kind;
        reading.code = kind_node.attribute("code").as_int();
        reading.start = kind_node.attribute("startdate").value();
        reading.end = kind_node.attribute("enddate").value();
        reading.at = kind_node.attribute("archdate").value();
        readings.push_back(reading);
      }
    }
  }
  return readings;
}

std::set<std::string> ExamplePointNames() {
  std::set<std::string> names;
  for (const ExampleReading& reading : ExampleReadings()) {
    if (reading.kind == "SNAPSHOT" || reading.kind == "STATE" ||
        reading.kind == "SUMMARY" || reading.kind == "ARCHIVE") {
      names.insert(reading.point);
    }
  }
  return names;
}

}  // namespace tavrolin::simulator::testing
