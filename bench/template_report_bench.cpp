// The template report over a growing family of systems, 30 template items
// each, with the stand-in historian answering at once (no script): the time
// per generated `tag` stays flat as the systems grow from 10 to 32,767. Beside
// it the floor: a minimal program that parses the same tag list with pugixml,
// appends the same records with a constant value and serialises them. And the
// peak memory of one build, in a process of its own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "bench/report_bench_services.h"
#include "reports/template_report.h"

namespace tavrolin {
namespace {

constexpr int kItems = 30;

// A template of `systems` names and 30 items: a third snapshots, a third
// summaries from yesterday to today, a third archived values of now.
std::string TemplateFile(int systems) {
  std::string names;
  for (int i = 0; i < systems; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%sU%04d", i == 0 ? "" : ",", i);
    names += name;
  }
  std::string items;
  for (int j = 0; j < kItems; ++j) {
    std::string kind;
    switch (j % 3) {
      case 0:
        kind = "<k>snapshot</k>";
        break;
      case 1:
        kind =
            "<k code=\"5\" startdate=\"yesterday\" "
            "enddate=\"today\">summary</k>";
        break;
      default:
        kind = "<k archdate=\"now\">archive</k>";
        break;
    }
    items += "    <item>\n      <n>Item " + std::to_string(j) +
             "</n>\n      <p>XXX.P" + std::to_string(j) + "</p>\n      " +
             kind + "\n    </item>\n";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <system>\n"
         "    <sel>\n      <mode>custom</mode>\n      <list>" +
         names + "</list>\n    </sel>\n  </system>\n  <XXX>\n" + items +
         "  </XXX>\n</root>\n";
}

// The floor: the least any program must do for the same report with
// pugixml, the values being constants.
void FloorReport(const std::string& input, const std::string& output) {
  pugi::xml_document document;
  document.load_file(input.c_str(), pugi::parse_default | pugi::parse_comments |
                                        pugi::parse_pi |
                                        pugi::parse_declaration);
  pugi::xml_node root = document.child("root");
  const std::string_view list =
      root.child("system").first_child().last_child().text().get();
  const pugi::xml_node items = root.child("XXX");
  std::string point;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string system(list.substr(start, comma - start));
    pugi::xml_node element = root.append_child(system.c_str());
    for (pugi::xml_node item : items.children()) {
      pugi::xml_node tag = element.append_child("tag");
      const pugi::xml_node display = item.first_child();
      tag.append_child("Name").text().set(display.text().get());
      // The point-name patterns start with "XXX".
      point = system;
      point += display.next_sibling().text().get() + 3;
      tag.append_child("Pointid").text().set(point.c_str());
      tag.append_child("Value").text().set(" 1.5");
    }
    start = comma + 1;
  }
  FILE* file = std::fopen(output.c_str(), "wb");
  pugi::xml_writer_file writer(file);
  document.save(writer, "", pugi::format_raw | pugi::format_no_declaration);
  std::fputs("\r\n", file);
  std::fclose(file);
}

void BM_TemplateReport(benchmark::State& state) {
  const int systems = static_cast<int>(state.range(0));
  BenchServices bench("tags3.xml", TemplateFile(systems));
  for (auto _ : state) {
    MakeTemplateReport(bench.services(), bench.input(), bench.output());
  }
  SetRecordCounters(state, static_cast<int64_t>(systems) * kItems,
                    "time_per_tag", bench.output());
}

void BM_TemplateFloor(benchmark::State& state) {
  const int systems = static_cast<int>(state.range(0));
  BenchServices bench("tags3.xml", TemplateFile(systems));
  for (auto _ : state) FloorReport(bench.input(), bench.output());
  SetRecordCounters(state, static_cast<int64_t>(systems) * kItems,
                    "time_per_tag", bench.output());
}

void BM_TemplatePeakMemory(benchmark::State& state) {
  MeasurePeakMemory(state, "template", state.range(0));
}

void BM_TemplateFloorPeakMemory(benchmark::State& state) {
  MeasurePeakMemory(state, "floor", state.range(0));
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  for (int systems : {10, 100, 1000, 10000, 32767}) benchmark->Arg(systems);
  benchmark->Unit(benchmark::kMillisecond);
  AddMinimum(benchmark);
}

BENCHMARK(BM_TemplateReport)->Apply(Sizes);
BENCHMARK(BM_TemplateFloor)->Apply(Sizes);
// The same with the time measured on the wall clock (the output file's
// write and flush to disk included).
BENCHMARK(BM_TemplateReport)
    ->Name("BM_TemplateReport_WallClock")
    ->Apply(Sizes)
    ->UseRealTime();
BENCHMARK(BM_TemplateFloor)
    ->Name("BM_TemplateFloor_WallClock")
    ->Apply(Sizes)
    ->UseRealTime();
BENCHMARK(BM_TemplatePeakMemory)->Arg(10)->Arg(1000)->Arg(32767)->Iterations(1);
BENCHMARK(BM_TemplateFloorPeakMemory)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(32767)
    ->Iterations(1);

// The peak-memory child: one build of `kind` over `systems` systems.
std::string PrepareChild(const std::string& kind, long systems,
                         std::function<void()>& build) {
  static std::unique_ptr<BenchServices> bench;
  bench = std::make_unique<BenchServices>(
      "tags3.xml", TemplateFile(static_cast<int>(systems)));
  if (kind == "floor") {
    build = [] { FloorReport(bench->input(), bench->output()); };
  } else {
    build = [] {
      MakeTemplateReport(bench->services(), bench->input(), bench->output());
    };
  }
  return bench->output();
}

}  // namespace
}  // namespace tavrolin

TAVROLIN_REPORT_BENCH_MAIN(tavrolin::PrepareChild)
