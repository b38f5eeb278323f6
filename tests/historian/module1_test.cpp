// The value readers against the stand-in historian library, loaded at run
// time through the binding. The stand-in's call log shows every call with
// its arguments and the cells' values on entry.
#include "historian/module1.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "reports/time_words.h"
#include "tests/support/errors.h"
#include "tests/support/fake_platform.h"
#include "tests/support/settings.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using ::testing::ElementsAre;
using testing::ErrorOf;
using testing::Latin1CodePage;
using testing::StubLibraryNames;
using testing::TempDir;

// The readers over the historian libraries `names`, in United States
// settings and a UTF-8 code page.
struct ReadersOver {
  explicit ReadersOver(const HistorianLibraryNames& names)
      : api(*loader, names) {}
  std::unique_ptr<LibraryLoader> loader = CreateLibraryLoader();
  basPI_API api;
  DateSettings settings;
  testing::Utf8CodePage code_page;
  Module1 readers{api, settings, code_page};
};

class Module1Test : public ::testing::Test {
 protected:
  void Script(const std::string& text) { historian_.Script(text); }

  std::vector<std::string> Calls() const {
    std::istringstream log(historian_.Calls());
    std::vector<std::string> calls;
    for (std::string line; std::getline(log, line);) calls.push_back(line);
    return calls;
  }

  TempDir dir_;
  testing::StandInHistorian historian_{dir_};
  ReadersOver over_{StubLibraryNames()};
  DateSettings& settings_ = over_.settings;
  Module1& readers_ = over_.readers;
};

TEST_F(Module1Test, SnapshotLooksThePointUpByName) {
  Script("point SINUSOID 7\nsnapshot 7 -3.25 0\n");
  std::string tag = "SINUSOID";
  EXPECT_EQ(readers_.GetSnapshotText(0, tag), "-3.25");
  EXPECT_EQ(tag, "SINUSOID");
  EXPECT_THAT(Calls(), ElementsAre("pipt_findpoint SINUSOID cell=0",
                                   "pisn_getsnapshot 7 cells=0,0,0"));
}

TEST_F(Module1Test, AGivenPointNumberIsUsedWithoutLookup) {
  Script(
      "point TAG 1\nsnapshot 9 42 3\nstate 3 OPEN\nsystime 100\n"
      "summary 9 5\narchive 9 6\n");
  std::string tag = "TAG";
  EXPECT_EQ(readers_.GetSnapshotText(9, tag), " 42");
  EXPECT_EQ(readers_.GetDigitalStateText(9, tag), "OPEN");
  EXPECT_EQ(readers_.GetSummaryText(1, "", "", 9, tag), " 5");
  EXPECT_EQ(readers_.GetArchiveText(9, "", tag), " 6");
  EXPECT_EQ(tag, "TAG");
  for (const std::string& call : Calls()) {
    EXPECT_EQ(call.find("pipt_findpoint"), std::string::npos) << call;
  }
  EXPECT_EQ(readers_.looked_up(), 0u);
}

// A name the look-up does not find is noted, once, in the order first met;
// the calls are those of any other name.
TEST_F(Module1Test, UnknownNameGivesZeroNotAnErrorAndIsNoted) {
  Script("point OTHER 7\nsnapshot 7 1 0\nsummary 7 1\narchive 7 1\n");
  std::string tag = "NO.SUCH.TAG";
  EXPECT_EQ(readers_.GetSnapshotText(0, tag), " 0");
  EXPECT_EQ(readers_.GetSummaryText(2, "", "", 0, tag), " 0");
  std::string other = "OTHER";
  EXPECT_EQ(readers_.GetSnapshotText(0, other), " 1");
  std::string nope = "NOPE";
  EXPECT_EQ(readers_.GetArchiveText(0, "", nope), " 0");
  EXPECT_EQ(readers_.GetArchiveText(0, "", tag), " 0");
  EXPECT_EQ(Calls()[1], "pisn_getsnapshot 0 cells=0,0,0");
  EXPECT_EQ(Calls().size(), 18u);  // 2 + 6 + 2 + 4 + 4: no call more
  EXPECT_EQ(readers_.looked_up(), 3u);
  EXPECT_THAT(readers_.unknown_points(), ElementsAre("NO.SUCH.TAG", "NOPE"));

  readers_.ForgetLookups();
  EXPECT_EQ(readers_.GetSnapshotText(0, other), " 1");
  EXPECT_EQ(readers_.looked_up(), 1u);
  EXPECT_TRUE(readers_.unknown_points().empty());
}

// The name goes whole; the library may rewrite the buffer, shorter (up to
// its first NUL) or longer (its own spelling): the name comes back from it.
TEST_F(Module1Test, TagNameGoesWholeAndComesBackFromTheBuffer) {
  const std::string long_name(600, 'L');
  const std::string canonical(255, 'C');
  Script("rewrite RENAMED NEW\\0XX\nrewrite_long p " + canonical + "\npoint " +
         long_name + " 4\npoint p 4\nsnapshot 4 2 0\n");
  std::string tag = long_name;
  EXPECT_EQ(readers_.GetSnapshotText(0, tag), " 2");
  EXPECT_EQ(tag, long_name);
  EXPECT_EQ(Calls()[0], "pipt_findpoint " + long_name + " cell=0");
  EXPECT_EQ(Calls()[1], "pisn_getsnapshot 4 cells=0,0,0");

  tag = "RENAMED";
  readers_.GetArchiveText(0, "", tag);
  EXPECT_EQ(tag, "NEW");
  tag = "p";
  EXPECT_EQ(readers_.GetSnapshotText(0, tag), " 2");
  EXPECT_EQ(tag, canonical);
}

TEST_F(Module1Test, TagNameGoesThroughTheCodePage) {
  const Latin1CodePage latin1;
  Module1 readers(over_.api, settings_, latin1);
  Script("point K\xE4se 5\n");  // the Latin-1 name as the library knows it
  std::string tag = "K\xC3\xA4se \xE2\x82\xAC";  // "Käse €"
  readers.GetSnapshotText(0, tag);
  EXPECT_EQ(Calls()[0], "pipt_findpoint K\xE4se ? cell=0");
  // The euro sign is not in the code page: it comes back as "?".
  EXPECT_EQ(tag, "K\xC3\xA4se ?");
}

TEST_F(Module1Test, DigitalStateNames) {
  const std::string name39(39, 'S');
  Script("point BRK 3\nsnapshot 3 0 12\nstate 12 " + name39 +
         "\nsnapshot 4 0 13\nstate 13   ON  \\0garbage\n"
         "snapshot 5 0 14\nstate 14 \nsnapshot 6 0 15\nstate_nonul 15\n");
  std::string tag = "BRK";
  EXPECT_EQ(readers_.GetDigitalStateText(0, tag), name39);
  EXPECT_THAT(Calls(), ElementsAre("pipt_findpoint BRK cell=0",
                                   "pisn_getsnapshot 3 cells=0,0,0",
                                   "pipt_digstate 12 length=40 buffer=[" +
                                       std::string(40, ' ') + "]"));
  // Blanks before the NUL stay; what follows it is dropped.
  EXPECT_EQ(readers_.GetDigitalStateText(4, tag), "  ON  ");
  EXPECT_EQ(readers_.GetDigitalStateText(5, tag), "");
  try {
    readers_.GetDigitalStateText(6, tag);
    ADD_FAILURE() << "no error for a buffer without NUL";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kInvalidArgument);
    EXPECT_NE(error.description().find("NUL"), std::string::npos);
  }
}

TEST_F(Module1Test, SummaryParsesStartThenEndAndPassesTheCode) {
  Script(
      "point FLOW 4\nsystime 500\n"
      "parsetime 05-Dec-26 00:00:00 = 111\n"
      "parsetime 06-Dec-26 06:43:30 = 222\nsummary 4 1234567.8\n");
  for (int32_t code : {0, -7, 2}) {
    std::string tag = "FLOW";
    EXPECT_EQ(readers_.GetSummaryText(code, "12/05/2026 00:00",
                                      "12/6/2026 6:43:30 AM", 0, tag),
              " 1234568");
  }
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 18u);
  EXPECT_THAT(std::vector<std::string>(calls.begin(), calls.begin() + 6),
              ElementsAre("pipt_findpoint FLOW cell=0", "pitm_systime 500",
                          "pitm_parsetime [05-Dec-26 00:00:00] base=500 cell=0",
                          "pitm_systime 501",
                          "pitm_parsetime [06-Dec-26 06:43:30] base=501 cell=0",
                          "piar_summary 4 start=111 end=222 code=0 cells=0,0"));
  EXPECT_EQ(calls[11], "piar_summary 4 start=111 end=222 code=-7 cells=0,0");
  EXPECT_EQ(calls[17], "piar_summary 4 start=111 end=222 code=2 cells=0,0");
}

TEST_F(Module1Test, ArchiveUsesModeThreeAndTheEmptyTextStaysEmpty) {
  Script(
      "point LEVEL 8\nsystime 900\nparsetime 31-Dec-26 00:00:00 = 333\n"
      "archive 8 0.00001234\n");
  std::string tag = "LEVEL";
  EXPECT_EQ(readers_.GetArchiveText(0, "12/31/2026 00:00", tag), " 1.234E-05");
  EXPECT_EQ(readers_.GetArchiveText(0, "", tag), " 1.234E-05");
  EXPECT_THAT(Calls(),
              ElementsAre("pipt_findpoint LEVEL cell=0", "pitm_systime 900",
                          "pitm_parsetime [31-Dec-26 00:00:00] base=900 cell=0",
                          "piar_value 8 time=333 mode=3 cells=0,0",
                          "pipt_findpoint LEVEL cell=0", "pitm_systime 901",
                          "pitm_parsetime [] base=901 cell=0",
                          "piar_value 8 time=0 mode=3 cells=0,0"));
}

TEST_F(Module1Test, UnreadableTimeTextRaisesBeforeAnyTimeCall) {
  Script("point LEVEL 8\n");
  std::string tag = "LEVEL";
  try {
    readers_.GetArchiveText(0, "*-1d", tag);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kTypeMismatch);
    EXPECT_NE(error.description().find("*-1d"), std::string::npos);
  }
  EXPECT_THAT(Calls(), ElementsAre("pipt_findpoint LEVEL cell=0"));
}

// The time words, resolved at fixed times, reach the parser as the same
// date and time, under United States settings and under German-style ones.
TEST_F(Module1Test, TimeWordsRoundTripThroughTheReaders) {
  DateSettings german;
  german.short_date = "dd/MM/yyyy";
  german.long_time = "HH:mm:ss";
  german.date_separator = ".";
  german.month_abbreviations[11] = "Dez";
  for (const DateSettings* settings : {&settings_, &german}) {
    Module1 readers(over_.api, *settings, over_.code_page);
    const bool us = settings == &settings_;
    const std::string december = us ? "Dec" : "Dez";
    LocalDateTime now{2027, 1, 1, 0, 0, 0};
    std::string tag = "T";
    readers.GetSummaryText(0, ResolveTimeWord("yesterday", now, *settings),
                           ResolveTimeWord("now", now, *settings), 0, tag);
    now = {2028, 3, 1, 18, 5, 9};
    readers.GetArchiveText(0, ResolveTimeWord("yesterday", now, *settings),
                           tag);
    readers.GetArchiveText(0, ResolveTimeWord("now", now, *settings), tag);
    std::vector<std::string> parsed;
    for (const std::string& call : Calls()) {
      if (call.starts_with("pitm_parsetime")) parsed.push_back(call.substr(15));
    }
    const int base = us ? 1000 : 1004;  // the stand-in's clock goes on
    auto line = [base](const std::string& text, int call) {
      return "[" + text + "] base=" + std::to_string(base + call) + " cell=0";
    };
    EXPECT_THAT(parsed, ElementsAre(line("31-" + december + "-26 00:00:00", 0),
                                    line("01-Jan-27 00:00:00", 1),
                                    line("29-Feb-28 00:00:00", 2),
                                    line("01-Mar-28 18:05:09", 3)));
    dir_.Write("calls.log", "");
  }
}

// The snapshot reader turns a binding failure into its text; the others
// raise it.
TEST(Module1LibraryTest, MissingLibrary) {
  ReadersOver over({"libstub_nowhere_piapi32.so", "libstub_pilog32.so"});
  std::string tag = "TAG";
  EXPECT_EQ(over.readers.GetSnapshotText(0, tag),
            "error: File not found: libstub_nowhere_piapi32.so");
  for (const std::function<void()>& call : std::vector<std::function<void()>>{
           [&] { over.readers.GetDigitalStateText(0, tag); },
           [&] { over.readers.GetSummaryText(0, "", "", 0, tag); },
           [&] { over.readers.GetArchiveText(7, "", tag); }}) {
    const Error error = ErrorOf(call);
    EXPECT_EQ(error.number(), errnum::kFileNotFound);
    EXPECT_EQ(error.description(),
              "File not found: libstub_nowhere_piapi32.so");
  }
}

}  // namespace
}  // namespace tavrolin
