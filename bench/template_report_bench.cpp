// The template report over a growing family of systems, 30 template items
// each, with the stand-in historian answering at once (no script): the time
// per generated `tag` should stay flat as the systems grow.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/frm_main.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

constexpr int kItems = 30;

// A template with `systems` names and 30 items: a third snapshots, a third
// summaries from yesterday to today, a third archived values.
std::string TemplateFile(int systems) {
  std::string names;
  for (int i = 0; i < systems; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%sU%04d", i == 0 ? "" : ",", i);
    names += name;
  }
  std::string items;
  for (int j = 0; j < kItems; ++j) {
    const std::string point = "XXX.P" + std::to_string(j);
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
    items += "    <item><n>Item " + std::to_string(j) + "</n><p>" + point +
             "</p>" + kind + "</item>\n";
  }
  return "<root>\n  <system>\n    <sel>\n      <mode>custom</mode>\n"
         "      <list>" +
         names + "</list>\n    </sel>\n  </system>\n  <XXX>\n" + items +
         "  </XXX>\n</root>\n";
}

void BM_TemplateReport(benchmark::State& state) {
  unsetenv("STUB_HISTORIAN_SCRIPT");
  unsetenv("STUB_HISTORIAN_LOG");
  const int systems = static_cast<int>(state.range(0));
  testing::TempDir dir;
  dir.Write("tags3.xml", TemplateFile(systems));
  testing::FakePlatform platform;
  platform.process_.executable_directory = dir.path().string();
  frmMain form(platform);
  const std::string input = dir.File("tags3.xml");
  const std::string output = dir.File("out3.xml");

  for (auto _ : state) form.BuildTemplateReport(input, output);

  if (!platform.service.log.empty()) {
    state.SkipWithError(platform.service.log.front().message.c_str());
    return;
  }
  const double tags = static_cast<double>(systems) * kItems;
  state.counters["tags"] = tags;
  state.counters["time_per_tag"] =
      benchmark::Counter(tags, benchmark::Counter::kIsIterationInvariantRate |
                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_TemplateReport)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin

BENCHMARK_MAIN();
