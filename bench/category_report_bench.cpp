// The category report for 4 x N items, N from 1,000 to 32,767, with the
// stand-in historian answering at once: the time per item stays flat as the
// tag list grows (every pass over the document is linear).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/report_bench_services.h"
#include "reports/category_report.h"

namespace tavrolin {
namespace {

// A tag list of four categories of `items` points each, indented as people
// write them.
std::string TagList(int items) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plant>\n";
  for (const char* category : {"analog", "analog2", "digital", "breaker"}) {
    text += std::string("  <") + category + ">\n";
    for (int i = 0; i < items; ++i) {
      text += "    <point>\n      <desc>Point " + std::to_string(i) +
              "</desc>\n      <name>" + category + "." + std::to_string(i) +
              "</name>\n    </point>\n";
    }
    text += std::string("  </") + category + ">\n";
  }
  return text + "</plant>\n";
}

void BM_CategoryReport(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  BenchServices bench("tags.xml", TagList(items));

  for (auto _ : state) {
    MakeCategoryReport(bench.services(), bench.input(), bench.output());
  }
  const int64_t per_run = 4 * static_cast<int64_t>(items);
  state.SetItemsProcessed(state.iterations() * per_run);
  state.counters["time_per_item"] = benchmark::Counter(
      static_cast<double>(state.iterations() * per_run),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["report_bytes"] =
      static_cast<double>(std::filesystem::file_size(bench.output()));
}

BENCHMARK(BM_CategoryReport)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin

BENCHMARK_MAIN();
