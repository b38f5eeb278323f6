// The template report over a growing family of systems, 30 template items
// each, with the stand-in historian answering at once (no script): the time
// per generated `tag` stays flat as the systems grow from 10 to 1,000.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

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

void BM_TemplateReport(benchmark::State& state) {
  const int systems = static_cast<int>(state.range(0));
  BenchServices bench("tags3.xml", TemplateFile(systems));

  for (auto _ : state) {
    MakeTemplateReport(bench.services(), bench.input(), bench.output());
  }
  const int64_t tags = static_cast<int64_t>(systems) * kItems;
  state.SetItemsProcessed(state.iterations() * tags);
  state.counters["time_per_tag"] = benchmark::Counter(
      static_cast<double>(state.iterations() * tags),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["report_bytes"] =
      static_cast<double>(std::filesystem::file_size(bench.output()));
}

BENCHMARK(BM_TemplateReport)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

// The same with the time per tag measured on the wall clock (the output
// file's write and flush included).
BENCHMARK(BM_TemplateReport)
    ->Name("BM_TemplateReport_WallClock")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin

BENCHMARK_MAIN();
