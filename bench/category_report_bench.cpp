// The category report for 4 x N items, N from 10 to 32,767, with the
// stand-in historian answering at once: the time per item stays flat as the
// tag list grows (every pass over the document is linear). Beside it the
// floor: pugixml alone parsing the list, appending a constant value to every
// item and serialising it. And the peak memory of one build, in a process of
// its own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "bench/report_bench_services.h"
#include "reports/category_report.h"

namespace tavrolin {
namespace {

constexpr const char* kCategories[] = {"analog", "analog2", "digital",
                                       "breaker"};

// A tag list of four categories of `items` points each, indented as people
// write them.
std::string TagList(int items) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plant>\n";
  for (const char* category : kCategories) {
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

void FloorReport(const std::string& input, const std::string& output) {
  pugi::xml_document document;
  document.load_file(input.c_str(), pugi::parse_default | pugi::parse_comments |
                                        pugi::parse_pi |
                                        pugi::parse_declaration);
  const pugi::xml_node plant = document.child("plant");
  for (const char* category : kCategories) {
    for (pugi::xml_node item : plant.child(category).children()) {
      item.append_child("Value").text().set(" 1.5");
    }
  }
  FILE* file = std::fopen(output.c_str(), "wb");
  pugi::xml_writer_file writer(file);
  document.save(writer, "", pugi::format_raw | pugi::format_no_declaration);
  std::fputs("\r\n", file);
  std::fclose(file);
}

void MeasureCategoryReport(benchmark::State& state, ReportWriting writing) {
  const int items = static_cast<int>(state.range(0));
  BenchServices bench("tags.xml", TagList(items), writing);
  for (auto _ : state) {
    MakeCategoryReport(bench.services(), bench.input(), bench.output());
  }
  SetRecordCounters(state, 4 * static_cast<int64_t>(items), "time_per_item",
                    bench.output());
}

void BM_CategoryReport(benchmark::State& state) {
  MeasureCategoryReport(state, ReportWriting::kDurable);
}

// The same build with the report written as the floor writes it: without
// the flush to disk that makes the replaced report durable.
void BM_CategoryReportUnsynced(benchmark::State& state) {
  MeasureCategoryReport(state, ReportWriting::kUnsynced);
}

void BM_CategoryFloor(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  BenchServices bench("tags.xml", TagList(items));
  for (auto _ : state) FloorReport(bench.input(), bench.output());
  SetRecordCounters(state, 4 * static_cast<int64_t>(items), "time_per_item",
                    bench.output());
}

void BM_CategoryPeakMemory(benchmark::State& state) {
  MeasurePeakMemory(state, "category", state.range(0));
}

void BM_CategoryFloorPeakMemory(benchmark::State& state) {
  MeasurePeakMemory(state, "floor", state.range(0));
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  for (int items : {10, 100, 1000, 4000, 16000, 32767}) benchmark->Arg(items);
  benchmark->Unit(benchmark::kMillisecond);
  AddMinimum(benchmark);
}

BENCHMARK(BM_CategoryReport)->Apply(Sizes);
BENCHMARK(BM_CategoryReportUnsynced)->Apply(Sizes);
BENCHMARK(BM_CategoryFloor)->Apply(Sizes);
BENCHMARK(BM_CategoryPeakMemory)->Arg(10)->Arg(1000)->Arg(32767)->Iterations(1);
BENCHMARK(BM_CategoryFloorPeakMemory)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(32767)
    ->Iterations(1);

// The peak-memory child: one build of `kind` over 4 x `items` items.
std::string PrepareChild(const std::string& kind, long items,
                         std::function<void()>& build) {
  static std::unique_ptr<BenchServices> bench;
  bench = std::make_unique<BenchServices>("tags.xml",
                                          TagList(static_cast<int>(items)));
  if (kind == "floor") {
    build = [] { FloorReport(bench->input(), bench->output()); };
  } else {
    build = [] {
      MakeCategoryReport(bench->services(), bench->input(), bench->output());
    };
  }
  return bench->output();
}

}  // namespace
}  // namespace tavrolin

TAVROLIN_REPORT_BENCH_MAIN(tavrolin::PrepareChild)
