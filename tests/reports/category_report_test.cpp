// The category report builder: real tag lists on disk, the real document
// layer and report writer, and the stand-in historian loaded at run time.
#include "reports/category_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/support/report_services.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using testing::ReadFile;
using testing::TestReportServices;

// Points, values and states of the stand-in historian for kTagList.
constexpr char kScript[] =
    "point A1 11\nsnapshot 11 42 0\n"
    "point A2 12\nsnapshot 12 -3.25 0\n"
    "point B1 13\nsnapshot 13 0.5 0\n"
    "point D1 21\nsnapshot 21 0 2\nstate 2 <&>\n"
    "point D2 22\nsnapshot 22 0 3\nstate 3 OPEN\n"
    "point K1 31\nsnapshot 31 0 3\n";

// Indented, with a document type that names outside files, a category name
// in other letter case, a comment first in an item, an item that already
// holds a Value, a category nested deeper and a second element of the same
// category name.
constexpr char kTagList[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!DOCTYPE plant PUBLIC \"-//Site//Points//EN\" \"http://x.invalid/\" [\r\n"
    "  <!ENTITY % pe SYSTEM \"file:///x\"> %pe;\r\n"
    "]>\r\n"
    "<plant>\r\n"
    "  <!-- tag list -->\r\n"
    "  <Analog>\r\n"
    "    <point><d>other case</d><n>A1</n></point>\r\n"
    "  </Analog>\r\n"
    "  <analog>\r\n"
    "    <point id=\"1\">\r\n"
    "      <desc>Feed flow</desc>\r\n"
    "      <name>A1</name>\r\n"
    "    </point>\r\n"
    "    <point>\r\n"
    "      <!-- moved -->\r\n"
    "      <name>A2</name>\r\n"
    "      <desc>not read</desc>\r\n"
    "    </point>\r\n"
    "  </analog>\r\n"
    "  <analog2>\r\n"
    "    <point><desc>Old</desc><name>B1</name><Value> 7</Value></point>\r\n"
    "  </analog2>\r\n"
    "  <group>\r\n"
    "    <digital>\r\n"
    "      <point><desc>Pump</desc><name>D1</name></point>\r\n"
    "      <point><desc>Valve</desc><name>D2</name></point>\r\n"
    "    </digital>\r\n"
    "  </group>\r\n"
    "  <digital>\r\n"
    "    <point><desc>second</desc><name>D9</name></point>\r\n"
    "  </digital>\r\n"
    "  <breaker>\r\n"
    "    <point><desc>Main</desc><name>K1</name></point>\r\n"
    "  </breaker>\r\n"
    "</plant>\r\n";

// The document type keeps its name alone: nothing a consumer would fetch.
constexpr char kExpectedReport[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE plant>"
    "<plant><!-- tag list -->"
    "<Analog><point><d>other case</d><n>A1</n></point></Analog>"
    "<analog><point id=\"1\"><desc>Feed flow</desc><name>A1</name>"
    "<Value> 42</Value></point>"
    "<point><!-- moved --><name>A2</name><desc>not read</desc>"
    "<Value>-3.25</Value></point></analog>"
    "<analog2><point><desc>Old</desc><name>B1</name><Value> 7</Value>"
    "<Value> .5</Value></point></analog2>"
    "<group><digital><point><desc>Pump</desc><name>D1</name>"
    "<Value>&lt;&amp;&gt;</Value></point>"
    "<point><desc>Valve</desc><name>D2</name><Value>OPEN</Value></point>"
    "</digital></group>"
    "<digital><point><desc>second</desc><name>D9</name></point></digital>"
    "<breaker><point><desc>Main</desc><name>K1</name><Value>OPEN</Value>"
    "</point></breaker></plant>\r\n";

constexpr char kPreviousReport[] = "<previous>report</previous>\r\n";

// Each test runs in a folder of its own, which is both the working folder
// (where "tags.xml" is read) and the folder "out.xml" goes to.
class CategoryReportTest : public testing::StandInFolderTest {
 protected:
  // One run of the builder; its failure, if any, joins Errors().
  void Run() {
    const std::string failure = testing::FailureOf(
        [&] { MakeCategoryReport(services_->services, "tags.xml", output_); });
    if (!failure.empty()) errors_.push_back(failure);
  }

  std::string Report() { return ReadFile(folder_.File("out.xml")); }
  const std::vector<std::string>& Errors() const { return errors_; }
  std::vector<std::string> LookedUp() const { return historian_.LookedUp(); }
  void Script(const std::string& text) { historian_.Script(text); }

  // The folder holds only these files: no temporary file is left behind.
  void ExpectFolderHolds(std::vector<std::string> expected) {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(folder_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
  }

  std::unique_ptr<TestReportServices> services_ =
      std::make_unique<TestReportServices>();
  std::string output_ = folder_.File("out.xml");
  std::vector<std::string> errors_;
};

TEST_F(CategoryReportTest, AddsAValueToEveryItemOfTheFourCategories) {
  Script(kScript);
  folder_.Write("tags.xml", kTagList);
  folder_.Write("out.xml", std::string(5000, 'p'));
  Run();
  EXPECT_EQ(Report(), kExpectedReport);
  EXPECT_TRUE(Errors().empty());
  // Category by category, item by item; nothing else is read.
  EXPECT_EQ(LookedUp(),
            (std::vector<std::string>{"A1", "A2", "B1", "D1", "D2", "K1"}));
  ExpectFolderHolds({"tags.xml", "out.xml", "script.txt", "calls.log"});

  // The same list without indentation gives the same report; a second run
  // starts again from the tag list.
  std::string flat = kTagList;
  std::erase(flat, '\n');
  std::erase(flat, '\r');
  while (flat.find("  ") != std::string::npos) {
    flat.erase(flat.find("  "), 2);
  }
  folder_.Write("tags.xml", flat);
  Run();
  EXPECT_EQ(Report(), kExpectedReport);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(CategoryReportTest, EmptyCategoriesAddNothing) {
  folder_.Write("tags.xml",
                "<t><analog>\n   \n</analog><analog2/><digital></digital>"
                "<breaker><i><a/><b>K</b></i></breaker></t>");
  Run();
  // Without a script the stand-in finds every point and names its state ON.
  EXPECT_EQ(Report(),
            "<t><analog/><analog2/><digital/><breaker><i><a/><b>K</b>"
            "<Value>ON</Value></i></breaker></t>\r\n");
  EXPECT_TRUE(Errors().empty());
}

TEST_F(CategoryReportTest, ValuesAddedEarlierArePartOfLaterPointNames) {
  // The digital element stands in the breaker item's point name: its value,
  // added first, is part of that name when the breaker is read.
  folder_.Write("tags.xml",
                "<t><analog/><analog2/><breaker><k><d/><n>K<digital><p><d/>"
                "<n>D1</n></p></digital></n></k></breaker></t>");
  Run();
  EXPECT_EQ(Report(),
            "<t><analog/><analog2/><breaker><k><d/><n>K<digital><p><d/>"
            "<n>D1</n><Value>ON</Value></p></digital></n><Value>ON</Value>"
            "</k></breaker></t>\r\n");
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(LookedUp(), (std::vector<std::string>{"D1", "KD1ON"}));
}

TEST_F(CategoryReportTest, UnknownPointsGetWhatTheHistorianLeaves) {
  // No point is known to the script: a lookup leaves 0 and the snapshot of
  // point 0 is not scripted, so the value stays 0.
  Script("state 0 OFF\n");
  folder_.Write("tags.xml",
                "<t><analog><i><a/><b>X</b></i></analog><analog2/>"
                "<digital><i><a/><b>Y</b></i></digital><breaker/></t>");
  Run();
  EXPECT_EQ(Report(),
            "<t><analog><i><a/><b>X</b><Value> 0</Value></i></analog>"
            "<analog2/><digital><i><a/><b>Y</b><Value>OFF</Value></i>"
            "</digital><breaker/></t>\r\n");
  EXPECT_TRUE(Errors().empty());
}

struct FailureCase {
  const char* label;
  const char* tag_list;  // nullptr: no "tags.xml"
  const char* script;    // nullptr: the stand-in's default answers
  int32_t number;
  std::vector<std::string> in_description;
  std::vector<std::string> looked_up;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.label; }

class CategoryReportFailureTest
    : public CategoryReportTest,
      public ::testing::WithParamInterface<FailureCase> {};

const FailureCase kFailures[] = {
    {"missing_file",
     nullptr,
     nullptr,
     errnum::kObjectNotSet,
     {"tags.xml not found in ", " (the working folder)"},
     {}},
    {"malformed_file",
     "<t>\n<analog>\n</t>",
     nullptr,
     errnum::kObjectNotSet,
     {"Not well-formed XML (mismatched tag) in ",
      "tags.xml at line 3, column 3"},
     {}},
    {"no_breaker",
     "<t><analog><i><d/><n>A1</n></i></analog><analog2><i><d/><n>B1</n></i>"
     "</analog2><digital><i><d/><n>D1</n></i></digital><Breaker/></t>",
     nullptr,
     errnum::kObjectNotSet,
     {"The element <breaker> was not found in tags.xml"},
     {"A1", "B1", "D1"}},
    {"name_differs_in_case",
     "<t><Analog><i><d/><n>A1</n></i></Analog><analog2/><digital/>"
     "<breaker/></t>",
     nullptr,
     errnum::kObjectNotSet,
     {"The element <analog> was not found in tags.xml"},
     {}},
    {"comment_among_items",
     "<t><analog><i><d/><n>A1</n></i></analog><analog2/><digital>"
     "<i><d/><n>D1</n></i><!-- spare --></digital><breaker/></t>",
     nullptr,
     errnum::kObjectNotSet,
     {"Item 2 of <digital> of tags.xml has 0 child node(s)"},
     {"A1", "D1"}},
    {"item_with_one_child",
     "<t><analog/><analog2><i><n>B1</n></i></analog2><digital/><breaker/></t>",
     nullptr,
     errnum::kObjectNotSet,
     {"Item 1 of <analog2> of tags.xml has 1 child node(s)"},
     {}},
    // analog2 is the second item of analog: it gets a value first, which
    // is then its own third item, without a point name.
    {"category_element_as_item",
     "<t><analog><i><d/><n>A1</n></i><analog2><p><d/><n>B1</n></p>"
     "<q><d/><n>B2</n></q></analog2></analog><digital/><breaker/></t>",
     nullptr,
     errnum::kObjectNotSet,
     {"Item 3 of <analog2> of tags.xml has 1 child node(s)"},
     {"A1", "B2", "B1", "B2"}},
    {"text_as_item",
     "<t><analog/><analog2/><digital/><breaker>spare</breaker></t>",
     nullptr,
     errnum::kObjectNotSet,
     {"Item 1 of <breaker> of tags.xml has 0 child node(s)"},
     {}},
    {"state_reader_fails",
     "<t><analog><i><d/><n>A1</n></i></analog><analog2/><digital>"
     "<i><d/><n>D1</n></i></digital><breaker/></t>",
     "point A1 1\nsnapshot 1 2 0\npoint D1 2\nsnapshot 2 0 7\n"
     "state_nonul 7\n",
     errnum::kInvalidArgument,
     {},
     {"A1", "D1"}},
};

TEST_P(CategoryReportFailureTest, LeavesThePreviousReportAndLogsOnce) {
  const FailureCase& c = GetParam();
  if (c.script != nullptr) Script(c.script);
  if (c.tag_list != nullptr) folder_.Write("tags.xml", c.tag_list);
  folder_.Write("out.xml", kPreviousReport);
  Run();
  EXPECT_EQ(Report(), kPreviousReport);
  const auto log = Errors();
  ASSERT_EQ(log.size(), 1u);
  const std::string prefix = "[" + std::to_string(c.number) + "] ";
  EXPECT_EQ(log[0].substr(0, prefix.size()), prefix) << log[0];
  for (const std::string& part : c.in_description) {
    EXPECT_NE(log[0].find(part), std::string::npos) << log[0];
  }
  EXPECT_EQ(LookedUp(), c.looked_up);
  std::vector<std::string> files = {"out.xml"};
  if (c.tag_list != nullptr) files.push_back("tags.xml");
  if (c.script != nullptr) files.push_back("script.txt");
  if (!c.looked_up.empty()) files.push_back("calls.log");
  ExpectFolderHolds(files);
}

INSTANTIATE_TEST_SUITE_P(Failures, CategoryReportFailureTest,
                         ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& test) {
                           return std::string(test.param.label);
                         });

TEST_F(CategoryReportTest, AnOutputThatCannotBeReplacedStaysAsItWas) {
  folder_.Write("tags.xml", "<t><analog/><analog2/><digital/><breaker/></t>");
  std::filesystem::create_directory(folder_.path() / "out.xml");
  Run();
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "out.xml"));
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_EQ(Errors()[0].substr(0, 5), "[75] ");
  ExpectFolderHolds({"tags.xml", "out.xml"});
  // The next run with the way clear writes the report.
  std::filesystem::remove(folder_.path() / "out.xml");
  Run();
  EXPECT_EQ(Report(), "<t><analog/><analog2/><digital/><breaker/></t>\r\n");
  EXPECT_EQ(Errors().size(), 1u);
}

// A tag list whose `category` holds `count` items, the last of them for the
// point `last`.
std::string ListWithItems(const std::string& category, int count,
                          const std::string& last = "P") {
  std::string items;
  items.reserve(static_cast<std::size_t>(count) * 20);
  for (int i = 1; i < count; ++i) items += "<i><d/><n>P</n></i>";
  items += "<i><d/><n>" + last + "</n></i>";
  std::string list = "<t><analog/><analog2/><digital/><breaker/></t>";
  const std::string empty = "<" + category + "/>";
  return list.replace(list.find(empty), empty.size(),
                      "<" + category + ">" + items + "</" + category + ">");
}

TEST_F(CategoryReportTest, ACategoryHoldsAtMost32767Items) {
  historian_.StopLog();  // keeps the big runs fast
  folder_.Write("out.xml", kPreviousReport);

  folder_.Write("tags.xml", ListWithItems("analog", 32767));
  Run();
  ASSERT_TRUE(Errors().empty()) << Errors()[0];
  const std::string report = Report();
  std::size_t values = 0;
  const std::string item = "<n>P</n><Value> 1.5</Value></i>";
  for (std::size_t at = report.find(item); at != std::string::npos;
       at = report.find(item, at + 1)) {
    ++values;
  }
  EXPECT_EQ(values, 32767u);

  // One more: every item is read, then the index cannot step on.
  folder_.Write("out.xml", kPreviousReport);
  folder_.Write("tags.xml", ListWithItems("breaker", 32768));
  Run();
  EXPECT_EQ(Report(), kPreviousReport);
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_EQ(Errors()[0],
            "[6] Overflow after item 32768 of <breaker> of tags.xml: a "
            "category holds at most 32767 items");

  // The last of those items is read before the overflow: when its reading
  // fails, that failure is the one reported.
  Script(
      "point P 1\nsnapshot 1 0 2\nstate 2 ON\npoint BAD 9\n"
      "snapshot 9 0 3\nstate_nonul 3\n");
  folder_.Write("tags.xml", ListWithItems("breaker", 32768, "BAD"));
  Run();
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_EQ(Errors()[1].substr(0, 4), "[5] ") << Errors()[1];

  // Two more: the run fails before the first item, which would fail too.
  std::string list = ListWithItems("breaker", 32769);
  list.replace(list.find("<n>P</n>"), 8, "<n>BAD</n>");
  folder_.Write("tags.xml", list);
  Run();
  EXPECT_EQ(Report(), kPreviousReport);
  ASSERT_EQ(Errors().size(), 3u);
  EXPECT_EQ(Errors()[2],
            "[6] Overflow: <breaker> of tags.xml holds 32769 items; a "
            "category holds at most 32767 items");
}

}  // namespace
}  // namespace tavrolin
