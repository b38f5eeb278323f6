// What the report benchmarks share: a folder of their own and the report
// services over the stand-in historian, which answers at once (no script),
// with the clock fixed; the tag lists; the peak memory of one build, measured
// in a process of its own.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "platform/code_page.h"
#include "platform/dynamic_library.h"
#include "platform/report_file.h"
#include "reports/report_services.h"

namespace tavrolin {

// Writes a report straight into its file, through the C library's buffer,
// and no further: no temporary file and no flush to disk, as the floor
// programs write. Beside the real writer it shows what making the replaced
// report durable costs.
class UnsyncedReportFileWriter : public ReportFileWriter {
 public:
  void ReplaceWith(const std::string& path,
                   const ReportProducer& produce) override {
    struct FileSink : ReportSink {
      void Write(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
      }
      FILE* file = nullptr;
    } sink;
    sink.file = std::fopen(path.c_str(), "wb");
    if (sink.file == nullptr) throw std::runtime_error("cannot write " + path);
    produce(sink);
    std::fclose(sink.file);
  }
};

// How a benchmark's reports go to their file.
enum class ReportWriting { kDurable, kUnsynced };

class BenchServices {
 public:
  // Writes `tag_list` as `input_name` in a new folder.
  BenchServices(const std::string& input_name, const std::string& tag_list,
                ReportWriting writing = ReportWriting::kDurable)
      : writer_(writing == ReportWriting::kDurable
                    ? CreateReportFileWriter()
                    : std::make_unique<UnsyncedReportFileWriter>()),
        folder_(std::filesystem::temp_directory_path() /
                ("tavrolin-bench-" + std::to_string(::getpid()))) {
    // The stand-in's fixed answers, without reading its environment on
    // every call: what is measured is the program's own work.
    setenv("STUB_HISTORIAN_UNSCRIPTED", "1", 1);
    std::filesystem::create_directories(folder_);
    input_ = (folder_ / input_name).string();
    output_ = (folder_ / "out.xml").string();
    std::ofstream(input_, std::ios::binary) << tag_list;
  }
  ~BenchServices() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  BenchServices(const BenchServices&) = delete;
  BenchServices& operator=(const BenchServices&) = delete;

  ReportServices& services() { return services_; }
  const std::string& input() const { return input_; }
  const std::string& output() const { return output_; }

 private:
  class FixedClock : public Clock {
   public:
    LocalDateTime Now() override { return {2026, 12, 6, 6, 43, 30}; }
  };

  // (Made first: the services below refer to it.)
  std::unique_ptr<ReportFileWriter> writer_;
  std::filesystem::path folder_;
  std::string input_;
  std::string output_;
  std::unique_ptr<LibraryLoader> loader_ = CreateLibraryLoader();
  basPI_API api_{*loader_, {"libstub_piapi32.so", "libstub_pilog32.so"}};
  DateSettings date_settings_;
  Utf8CodePage code_page_;
  Module1 readers_{api_, date_settings_, code_page_};
  FixedClock clock_;
  ReportServices services_{readers_, clock_, date_settings_, code_page_,
                           *writer_};
};

// With --benchmark_repetitions, the least of the repetitions beside their
// mean and median: on a machine shared with other work, whose speed moves
// from minute to minute, the repetition least slowed down by it.
inline void AddMinimum(benchmark::internal::Benchmark* benchmark) {
  benchmark->ComputeStatistics("min", [](const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
  });
}

// Counters of the time per generated record and of the report's size.
inline void SetRecordCounters(benchmark::State& state, int64_t records,
                              const std::string& record_counter,
                              const std::string& output) {
  state.SetItemsProcessed(state.iterations() * records);
  state.counters[record_counter] = benchmark::Counter(
      static_cast<double>(state.iterations() * records),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["report_bytes"] =
      static_cast<double>(std::filesystem::file_size(output));
}

// Peak memory: the benchmark executable runs itself again with
// kPeakMemoryChild, the kind of build and the size; that process makes two
// builds and prints the peak resident set of the second build, its resident
// set before and after the second build, the report's size and the peak
// resident set of the whole process (the tag list's making included), all in
// KiB.
// A process of its own, so that nothing of earlier benchmarks is counted.
inline constexpr std::string_view kPeakMemoryChild = "--peak-memory-child";

// The resident set now, in KiB.
inline long ResidentKiB() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Starts the peak resident set afresh from the resident set now (Linux's
// clear_refs); false when the system does not allow it.
inline bool ResetPeakResident() {
  FILE* clear_refs = std::fopen("/proc/self/clear_refs", "w");
  if (clear_refs == nullptr) return false;
  const bool written = std::fputs("5", clear_refs) >= 0;
  return std::fclose(clear_refs) == 0 && written;
}

// The peak resident set since the last reset (VmHWM), in KiB; 0 when it
// cannot be read.
inline long PeakResidentKiB() {
  long peak = 0;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::sscanf(line, "VmHWM: %ld", &peak) == 1) break;
    }
    std::fclose(status);
  }
  return peak;
}

// The child's side: `prepare` sets `build`, which makes one report, and
// returns the report's path. The first build loads the historian libraries,
// whose memory stays; the second shows what a build in service takes and
// keeps. Its peak is counted from the resident set before it, so that the
// making of the tag list does not count; where the peak cannot be reset, it
// is the process's whole peak.
inline int RunPeakMemoryChild(
    const std::function<std::string(std::function<void()>&)>& prepare) {
  std::function<void()> build;
  const std::string output = prepare(build);
  build();
  const long ready = ResidentKiB();
  const bool reset = ResetPeakResident();
  build();
  const long after = ResidentKiB();
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  long peak = reset ? PeakResidentKiB() : 0;
  if (peak == 0) peak = usage.ru_maxrss;
  std::printf("%ld %ld %ld %ld %ld\n", peak, ready, after,
              static_cast<long>(std::filesystem::file_size(output) / 1024),
              usage.ru_maxrss);
  return 0;
}

// The parent's side: runs the child for `kind` and `size` and sets the
// counters peak_MiB, report_MiB, budget_use (peak over 3 x report + 10 MiB:
// at most 1 meets the goal), kept_MiB (resident after the second build
// less before it) and process_peak_MiB.
inline void MeasurePeakMemory(benchmark::State& state, const char* kind,
                              int64_t size) {
  char self[4096] = {};
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    state.SkipWithError("cannot find the benchmark executable");
    return;
  }
  const std::string command = std::string(self) + " " +
                              std::string(kPeakMemoryChild) + " " + kind + " " +
                              std::to_string(size);
  long peak = 0, ready = 0, after = 0, report = 0, process_peak = 0;
  for (auto _ : state) {
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr ||
        std::fscanf(child, "%ld %ld %ld %ld %ld", &peak, &ready, &after,
                    &report, &process_peak) != 5) {
      if (child != nullptr) ::pclose(child);
      state.SkipWithError("the measuring process failed");
      return;
    }
    ::pclose(child);
  }
  const double mib = 1024.0;
  state.counters["peak_MiB"] = peak / mib;
  state.counters["report_MiB"] = report / mib;
  state.counters["budget_use"] = peak / (3.0 * report + 10 * mib);
  state.counters["kept_MiB"] = (after - ready) / mib;
  state.counters["process_peak_MiB"] = process_peak / mib;
}

}  // namespace tavrolin

// main() of a report benchmark: the benchmarks, or one measured build when
// started as the peak-memory child. `PrepareChild(kind, size, build)` sets
// `build` and returns the output path.
#define TAVROLIN_REPORT_BENCH_MAIN(PrepareChild)                              \
  int main(int argc, char** argv) {                                           \
    if (argc == 4 && argv[1] == tavrolin::kPeakMemoryChild) {                 \
      const std::string kind = argv[2];                                       \
      const long size = std::atol(argv[3]);                                   \
      return tavrolin::RunPeakMemoryChild([&](std::function<void()>& build) { \
        return PrepareChild(kind, size, build);                               \
      });                                                                     \
    }                                                                         \
    benchmark::Initialize(&argc, argv);                                       \
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;         \
    benchmark::RunSpecifiedBenchmarks();                                      \
    benchmark::Shutdown();                                                    \
    return 0;                                                                 \
  }
