// What the fuzz targets share: the report services over an in-process
// stand-in historian (no shared library, no file of answers), a report
// writer that keeps the report in memory, and the property every report
// must have.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "document/document.h"
#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "platform/code_page.h"
#include "platform/dynamic_library.h"
#include "platform/error.h"
#include "platform/report_file.h"
#include "reports/report_services.h"
#include "tests/support/document_oracles.h"
#include "tests/support/string_sink.h"

namespace tavrolin::fuzz {

// Answers of the stand-in historian, derived from the point name, so that a
// run is repeatable. State names hold what XML must escape or cannot hold.
class InProcessHistorian : public LibraryLoader {
 public:
  std::unique_ptr<DynamicLibrary> Load(const std::string&) override {
    return std::make_unique<Library>();
  }

 private:
  static uint32_t Hash(const char* text) {
    uint32_t hash = 2166136261u;
    for (; *text; ++text)
      hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
    return hash;
  }
  static int32_t RegisterApp(const char*) { return 0; }
  static int32_t FindPoint(char* name, int32_t* number) {
    const uint32_t hash = Hash(name);
    *number = hash % 7 == 0 ? 0 : static_cast<int32_t>(hash % 100000) + 1;
    return *number == 0 ? -5 : 0;
  }
  static int32_t GetSnapshot(int32_t number, float* value, int32_t* status,
                             int32_t* time) {
    *value = static_cast<float>(number) / 7.0f - 1000.0f;
    *status = number % 5;
    *time = 1000;
    return 0;
  }
  static int32_t DigState(int32_t code, char* state, int32_t length) {
    static constexpr const char* kStates[] = {"Open", "Closed <&>\"'",
                                              "Bad\x01\x02\x7f",
                                              "\xff\xfe\xc3(", "CR\rLF\nTAB\t"};
    const std::string_view text = kStates[static_cast<uint32_t>(code) % 5];
    const std::size_t size = std::min<std::size_t>(text.size(), length - 1);
    text.copy(state, size);
    state[size] = '\0';
    return 0;
  }
  static int32_t SysTime() { return 1000; }
  static int32_t ParseTime(const char* text, int32_t, int32_t* time) {
    *time = static_cast<int32_t>(Hash(text) % 100000);
    return 0;
  }
  static int32_t Summary(int32_t number, int32_t*, int32_t*, float* value,
                         float* percent_good, int32_t code) {
    *value = static_cast<float>(number * 3 + code);
    *percent_good = 100.0f;
    return 0;
  }
  static int32_t ArchiveValue(int32_t number, int32_t*, int32_t, float* value,
                              int32_t* status) {
    *value = static_cast<float>(number) * 0.5f;
    *status = 0;
    return 0;
  }

  class Library : public DynamicLibrary {
   public:
    void* Symbol(const std::string& name) override {
      if (name == "pilg_registerapp") return Address(&RegisterApp);
      if (name == "pipt_findpoint") return Address(&FindPoint);
      if (name == "pisn_getsnapshot") return Address(&GetSnapshot);
      if (name == "pipt_digstate") return Address(&DigState);
      if (name == "pitm_systime") return Address(&SysTime);
      if (name == "pitm_parsetime") return Address(&ParseTime);
      if (name == "piar_summary") return Address(&Summary);
      if (name == "piar_value") return Address(&ArchiveValue);
      return nullptr;
    }

   private:
    template <typename Function>
    static void* Address(Function* function) {
      return reinterpret_cast<void*>(function);
    }
  };
};

// Keeps the last report in memory instead of writing a file.
class MemoryWriter : public ReportFileWriter {
 public:
  void ReplaceWith(const std::string&, const ReportProducer& produce) override {
    report = testing::Produced(produce);
  }
  std::optional<std::string> report;
};

class FixedClock : public Clock {
 public:
  LocalDateTime Now() override { return {2026, 12, 6, 6, 43, 30}; }
};

// One folder for the whole fuzzing run, with the tag list written anew for
// every input.
class FuzzServices {
 public:
  explicit FuzzServices(const std::string& input_name)
      : folder_(std::filesystem::temp_directory_path() /
                ("tavrolin-fuzz-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
    input_ = (folder_ / input_name).string();
  }

  const std::string& WriteInput(const uint8_t* data, std::size_t size) {
    std::ofstream(input_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data),
               static_cast<std::streamsize>(size));
    return input_;
  }
  std::string File(const std::string& name) const {
    return (folder_ / name).string();
  }
  ReportServices& services() { return services_; }
  MemoryWriter& writer() { return writer_; }

 private:
  std::filesystem::path folder_;
  std::string input_;
  InProcessHistorian loader_;
  basPI_API api_{loader_, {"piapi32", "pilog32"}};
  DateSettings date_settings_;
  Utf8CodePage code_page_;
  Module1 readers_{api_, date_settings_, code_page_};
  FixedClock clock_;
  MemoryWriter writer_;
  ReportServices services_{readers_, clock_, date_settings_, code_page_,
                           writer_};
};

// The property of every report: the bytes before the closing CR LF are a
// well-formed document, which written again gives the same bytes.
inline void CheckReportReadsBack(FuzzServices& fuzz,
                                 const std::string& report) {
  if (report.size() < 2 || report.substr(report.size() - 2) != "\r\n")
    std::abort();
  const std::string text = report.substr(0, report.size() - 2);
  const std::string path = fuzz.File("report.xml");
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  xml::Document document{SystemTextDecoder()};
  if (!document.Load(*OpenInputFile(path))) std::abort();
  if (testing::SavedText(document, "UTF-8") != text) std::abort();
}

// Runs one fuzzing input as the tag list of the report `build` makes: a
// report written parses back, and a tag list that does not load never writes
// one.
inline int CheckReportOfInput(FuzzServices& fuzz, const uint8_t* data,
                              std::size_t size,
                              void (*build)(ReportServices&, const std::string&,
                                            const std::string&)) {
  const std::string& input = fuzz.WriteInput(data, size);
  fuzz.writer().report.reset();
  try {
    build(fuzz.services(), input, fuzz.File("out.xml"));
  } catch (const Error&) {
    // A failed run is reported by the host's trap; only what it wrote counts.
  }
  xml::Document document{SystemTextDecoder()};
  const bool loads = document.Load(*OpenInputFile(input));
  if (!fuzz.writer().report) return 0;
  if (!loads) std::abort();  // a report from a tag list that does not load
  CheckReportReadsBack(fuzz, *fuzz.writer().report);
  return 0;
}

}  // namespace tavrolin::fuzz
