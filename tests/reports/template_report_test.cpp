// The template report builder with real files, the stand-in historian
// loaded through the binding and a fixed clock (6 December 2026).
#include "reports/template_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/document.h"
#include "platform/error.h"
#include "tests/support/report_services.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using testing::ReadFile;
using testing::ReadFileOrEmpty;
using testing::TempDir;
using testing::TestReportServices;

constexpr char kPrevious[] = "previous report\r\n";

// One template item: display name, point-name pattern and the kind node
// (given whole, so that tests can vary its attributes).
std::string Item(const std::string& name, const std::string& pattern,
                 const std::string& kind_node) {
  return "<item><n>" + name + "</n><p>" + pattern + "</p>" + kind_node +
         "</item>";
}

std::string Kind(const std::string& word, const std::string& attributes = "") {
  return "<k" + attributes + ">" + word + "</k>";
}

// A template file in the project's usual indented layout.
std::string Template(const std::string& mode, const std::string& systems,
                     const std::string& items, bool with_root = true) {
  const std::string body = "  <system>\n    <sel>\n      <mode>" + mode +
                           "</mode>\n      <list>" + systems +
                           "</list>\n    </sel>\n  </system>\n  <XXX>\n    " +
                           items + "\n  </XXX>\n";
  return with_root ? "<root>\n" + body + "</root>\n"
                   : "<doc>\n" + body + "</doc>\n";
}

struct Record {
  std::string system;
  std::vector<std::vector<std::string>> tags;  // Name, Pointid, Value
};

// The generated records of the report at `path`: the children of `root`
// after `system` and `XXX`. Each tag must hold exactly Name, Pointid and
// Value, text only, without attributes.
std::vector<Record> Records(const std::string& path) {
  const std::string output = ReadFileOrEmpty(path);
  for (const char* field : {"<Name ", "<Pointid ", "<Value "}) {
    EXPECT_EQ(output.find(field), std::string::npos) << field;
  }
  xml::Document document{SystemTextDecoder()};
  EXPECT_TRUE(document.Load(*OpenInputFile(path))) << document.load_error();
  std::vector<Record> records;
  const xml::Node root = document.FirstElementByTagName("root");
  for (xml::Node system = root.ChildAt(0); system;
       system = system.NextSibling()) {
    const std::string name = system.Name();
    if (name == "system" || name == "XXX") continue;
    Record record{name, {}};
    for (xml::Node tag = system.ChildAt(0); tag; tag = tag.NextSibling()) {
      EXPECT_EQ(tag.Name(), "tag");
      std::vector<std::string> fields;
      std::vector<std::string> names;
      for (xml::Node field = tag.ChildAt(0); field;
           field = field.NextSibling()) {
        names.push_back(field.Name());
        EXPECT_TRUE(field.ChildCount() == 0 ||
                    (field.ChildCount() == 1 &&
                     field.ChildAt(0).kind() == xml::NodeKind::kText));
        fields.push_back(field.Text());
      }
      EXPECT_EQ(names, (std::vector<std::string>{"Name", "Pointid", "Value"}));
      record.tags.push_back(fields);
    }
    records.push_back(record);
  }
  return records;
}

std::vector<std::string> SystemNames(const std::vector<Record>& records) {
  std::vector<std::string> names;
  for (const Record& record : records) names.push_back(record.system);
  return names;
}

class TemplateReportTest : public ::testing::Test {
 protected:
  void SetUp() override { services_->clock.now = {2026, 12, 6, 6, 43, 30}; }

  void Script(const std::string& lines) { historian_.Script(lines); }

  // Runs the builder from `input_file` to `output_path`; its failure, if
  // any, joins Log().
  void Build(const std::string& input_file, const std::string& output_path) {
    const std::string failure = testing::FailureOf([&] {
      MakeTemplateReport(services_->services, input_file, output_path);
    });
    if (!failure.empty()) log_.push_back(failure);
  }

  // Runs the builder on `content` as the input file.
  void Run(const std::string& content) {
    dir_.Write("tags3.xml", content);
    Build(dir_.File("tags3.xml"), Output());
  }

  std::string Output() const { return dir_.File("out3.xml"); }
  std::string Calls() const { return historian_.Calls(); }
  const std::vector<std::string>& Log() const { return log_; }

  // Runs `content` over a previous report and expects one failure
  // "[number] ..." holding `description`, with the previous report intact.
  void ExpectFailure(const std::string& content, int32_t number,
                     const std::string& description) {
    dir_.Write("out3.xml", kPrevious);
    const std::size_t entries = Log().size();
    Run(content);
    ASSERT_EQ(Log().size(), entries + 1) << content.substr(0, 300);
    const std::string& message = Log().back();
    EXPECT_EQ(message.rfind("[" + std::to_string(number) + "] ", 0), 0u)
        << message;
    EXPECT_NE(message.find(description), std::string::npos) << message;
    EXPECT_EQ(ReadFile(Output()), kPrevious);
  }

  std::vector<Record> Succeed(const std::string& content) {
    Run(content);
    EXPECT_TRUE(Log().empty()) << Log().front();
    return Records(Output());
  }

  TempDir dir_;
  testing::StandInHistorian historian_{dir_};
  std::unique_ptr<TestReportServices> services_ =
      std::make_unique<TestReportServices>();
  std::vector<std::string> log_;
};

TEST_F(TemplateReportTest, ModeAndSystemsTextGiveTheSystemNames) {
  struct Case {
    std::string mode;
    std::string systems;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"custom", "U1,U2", {"U1", "U2"}},
      {"custom", "", {}},
      {"custom", "B2", {"B2"}},
      {"", "1,3", {"A01", "A02", "A03"}},
      {"range", "9,10", {"A09", "A10"}},
      {"range", "99,100", {"A99", "A100"}},
      {"range", "5,5", {"A05"}},
      {"range", "1,3,7", {"A01", "A02", "A03"}},
      {"range", " 2.5 , 3.5", {"A02", "A03", "A04"}},
      {"range", "-5,-4", {"A-05", "A-04"}},
      {"range", "-1,1", {"A-01", "A00", "A01"}},
      {"range", "+7,7e0", {"A07"}},
      {" custom", "1,2", {"A01", "A02"}},
      {"custom ", "1,2", {"A01", "A02"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode [" + c.mode + "] systems [" + c.systems + "]");
    EXPECT_EQ(SystemNames(Succeed(Template(c.mode, c.systems, ""))), c.names);
  }
}

TEST_F(TemplateReportTest, KindWordsPatternsAndValues) {
  // No script: every point is found and every value is 1.5.
  const std::string items =
      Item("a", "XXX.S",
           Kind("summary",
                " code=\"1\" startdate=\"now\" "
                "enddate=\"now\"")) +
      Item("b", "XXX.S",
           Kind("Summary",
                " code=\" 2.5 \" startdate=\"x\" "
                "enddate=\"\"")) +
      Item("c", "XXX.S",
           Kind("SUMMARY",
                " code=\"-2147483648\" "
                "startdate=\"today\" "
                "enddate=\"today\"")) +
      Item("d", "XXX.A", Kind("Archive", " archdate=\"yesterday\"")) +
      Item("e", "XXX.N", Kind("SnapShot")) +
      Item("f", "XXX.N", Kind("snapshots")) + Item("g", "XXX.N", Kind("")) +
      Item("h", "FIXED.POINT", Kind("other")) +
      Item("i", "XXX.XXX_XXXX", Kind("x")) + Item("j", "xXXX", Kind("x"));
  const std::vector<Record> records =
      Succeed(Template("custom", "U1,U2", items));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].tags, (std::vector<std::vector<std::string>>{
                                 {"a", "U2.S", " 1.5"},
                                 {"b", "U2.S", " 1.5"},
                                 {"c", "U2.S", " 1.5"},
                                 {"d", "U2.A", " 1.5"},
                                 {"e", "U2.N", " 1.5"},
                                 {"f", "U2.N", "-99999"},
                                 {"g", "U2.N", "-99999"},
                                 {"h", "FIXED.POINT", "-99999"},
                                 {"i", "U2.U2_U2X", "-99999"},
                                 {"j", "xU2", "-99999"}}));
  const std::string calls = Calls();
  // Codes reach the historian as converted: " 2.5 " rounds to 2.
  EXPECT_NE(calls.find("code=1 "), std::string::npos) << calls;
  EXPECT_NE(calls.find("code=2 "), std::string::npos) << calls;
  EXPECT_NE(calls.find("code=-2147483648 "), std::string::npos) << calls;
  EXPECT_EQ(calls.find("FIXED.POINT"), std::string::npos) << calls;
}

TEST_F(TemplateReportTest, BareInputNameIsReadFromTheWorkingDirectory) {
  dir_.Write("tags3.xml", Template("custom", "U 1", ""));
  {
    const testing::WorkingFolder working_folder(dir_.path());
    Build("tags3.xml", Output());
  }
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0],
            "[-2147467259] tags3.xml: system name \"U 1\" is not a valid "
            "element name");
}

TEST_F(TemplateReportTest, EveryFailureKeepsThePreviousReport) {
  struct Case {
    std::string name;
    std::string content;
    int32_t number;
    std::string description;
  };
  const std::string ok = Item("N", "XXX.P", Kind("snapshot"));
  const std::string system_only =
      "<root><XXX>" + ok + "</XXX><system>%</system></root>";
  const auto with_system = [&](const std::string& inner) {
    std::string text = system_only;
    return text.replace(text.find('%'), 1, inner);
  };
  const std::vector<Case> cases = {
      {"not well-formed", "<root><system>", 91,
       "Not well-formed XML (no element found) in "},
      {"no system", "<root><XXX/></root>", 91, "no <system> element"},
      {"empty system", with_system(""), 91, "<system> has no child nodes"},
      {"system selector is a comment", with_system("<!--c--><sel/>"), 91,
       "child node 0 of <system> is a comment"},
      {"system selector is text", with_system("custom"), 91,
       "child node 0 of <system> is a text"},
      {"selector without children", with_system("<sel/>"), 91,
       "<system>/<sel> has no child node 0"},
      {"selector without list", with_system("<sel><m>custom</m></sel>"), 91,
       "<system>/<sel> has no child node 1"},
      {"Custom takes the range path", Template("Custom", "U1,U2", ok), 13,
       "\"U2\" is not a number"},
      {"range 3,1", Template("r", "3,1", ok), 5,
       "first number 3 is greater than its last 1"},
      {"range of one piece", Template("r", "5", ok), 9, "needs two numbers"},
      {"empty range", Template("r", "", ok), 9, "needs two numbers"},
      {"first not a number", Template("r", "x1,3", ok), 13,
       "\"x1\" is not a number"},
      {"blank first", Template("r", ",3", ok), 13, "\"\" is not a number"},
      {"range beyond 16 bits", Template("r", "1,40000", ok), 6,
       "\"40000\" is outside -32768..32767"},
      {"range below 16 bits", Template("r", "-32769,1", ok), 6,
       "\"-32769\" is outside"},
      {"range rounding beyond 16 bits", Template("r", "1,32767.5", ok), 6,
       "outside"},
      {"range ending at 32767", Template("r", "32767,32767", ok), 6,
       "ends at 32767"},
      {"empty name inside", Template("custom", "U1,,U2", ok), -2147467259,
       "system name \"\" is not a valid element name"},
      {"trailing comma", Template("custom", "U1,", ok), -2147467259,
       "system name \"\" is not a valid element name"},
      {"digit first", Template("custom", "1A", ok), -2147467259,
       "system name \"1A\" is not a valid element name"},
      {"markup in a name", Template("custom", "a&gt;&lt;b", ok), -2147467259,
       "system name \"a><b\" is not a valid element name"},
      {"no XXX", "<root><system><s><m>custom</m><l>U1</l></s></system></root>",
       91, "no <XXX> element"},
      {"item with one child",
       Template("custom", "U1", ok + ok + "<item><n>x</n></item>"), 91,
       "item 3 of <XXX> has 1 child node, needs 3"},
      {"comment among items",
       Template("custom", "U1", ok + "<!-- spare -->" + ok), 91,
       "item 2 of <XXX> is a comment and has 0 child nodes, needs 3"},
      {"summary without code",
       Template("custom", "U1",
                Item("N", "XXX.P",
                     Kind("summary", " startdate=\"now\" enddate=\"now\""))),
       91,
       "item 1 of <XXX> for system \"U1\" (point \"U1.P\"): <k> has no "
       "attribute code"},
      {"summary without enddate",
       Template("custom", "U1",
                Item("N", "XXX.P",
                     Kind("summary",
                          " code=\"1\" "
                          "startdate=\"now\""))),
       91, "<k> has no attribute enddate"},
      {"archive without archdate",
       Template("custom", "U1", Item("N", "XXX.P", Kind("archive"))), 91,
       "<k> has no attribute archdate"},
      {"summary kind as text",
       Template("custom", "U1", "<item><n>N</n><p>XXX.P</p>summary</item>"), 91,
       "the kind \"SUMMARY\" is a text, not an element"},
      {"code beyond 32 bits",
       Template("custom", "U1",
                Item("N", "XXX.P",
                     Kind("SUMMARY",
                          " code=\"2147483648\" "
                          "startdate=\"now\" "
                          "enddate=\"now\""))),
       6, "attribute code \"2147483648\" is outside"},
      {"code not a number",
       Template("custom", "U1",
                Item("N", "XXX.P",
                     Kind("SUMMARY",
                          " code=\"5a\" "
                          "startdate=\"now\" "
                          "enddate=\"now\""))),
       13, "attribute code \"5a\" is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectFailure(c.content, c.number, c.description);
  }
  // A missing input file fails the same way.
  std::filesystem::remove(dir_.File("tags3.xml"));
  dir_.Write("out3.xml", kPrevious);
  Build(dir_.File("tags3.xml"), Output());
  ASSERT_EQ(Log().size(), cases.size() + 1);
  EXPECT_EQ(Log().back(),
            "[91] tags3.xml not found in " + dir_.path().string());
  EXPECT_EQ(ReadFile(Output()), kPrevious);
}

TEST_F(TemplateReportTest, EntitiesDefaultsAndReferencesAreReadAsXmlReadsThem) {
  Script(
      "point U1.FI101 11\nsummary 11 42\n"
      "parsetime 05-Dec-26 00:00:00 = 500\n"
      "parsetime 06-Dec-26 00:00:00 = 600\n");
  const std::string list =
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
      "<!DOCTYPE root SYSTEM \"file:///x\" [\r\n"
      "  <!ENTITY flow \"FI101\">\r\n"
      "  <!ATTLIST k code CDATA \"5\" startdate CDATA \"yesterday\">\r\n"
      "  <!ENTITY % pe SYSTEM \"y\"> %pe;\r\n"
      "]>\r\n" +
      Template("custom", "U1",
               Item("\xcf\xee\xf2\xee\xea&#13;", "XXX.&flow;",
                    Kind("summary", " enddate=\"today\"")));
  Run(list);
  ASSERT_TRUE(Log().empty()) << Log().front();
  const std::string output = ReadFile(Output());
  // The DOCTYPE keeps its name alone (nothing a consumer would fetch); the
  // defaults are written out; the CR is a reference.
  EXPECT_EQ(output.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                         "<!DOCTYPE root><root>",
                         0),
            0u)
      << output;
  for (const char* fetched : {"SYSTEM", "%"}) {
    EXPECT_EQ(output.find(fetched), std::string::npos) << output;
  }
  EXPECT_NE(output.find("<Name>\xd0\x9f\xd0\xbe\xd1\x82\xd0\xbe\xd0\xba&#13;"
                        "</Name><Pointid>U1.FI101</Pointid><Value> 42</Value>"),
            std::string::npos)
      << output;
  EXPECT_NE(Calls().find("piar_summary 11 start=500 end=600 code=5"),
            std::string::npos)
      << Calls();
}

TEST_F(TemplateReportTest, MissingRootFailsAfterTheFirstSystemsRecords) {
  ExpectFailure(
      Template("custom", "U1,U2", Item("N", "XXX.P", Kind("snapshot")), false),
      91, "no <root> element");
  const std::string calls = Calls();
  EXPECT_NE(calls.find("pipt_findpoint U1.P"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("U2.P"), std::string::npos) << calls;
}

TEST_F(TemplateReportTest, HistorianFailuresEndTheRun) {
  services_ = std::make_unique<TestReportServices>(HistorianLibraryNames{
      "libtavrolin-no-such-client.so", "libtavrolin-no-such-login.so"});
  // The snapshot reader turns its failure into the value text.
  const std::vector<Record> records =
      Succeed(Template("custom", "U1", Item("N", "XXX.P", Kind("snapshot"))));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].tags[0][2].rfind("error: ", 0), 0u);
  // The archive reader's failure ends the run.
  ExpectFailure(Template("custom", "U1",
                         Item("N", "XXX.P", Kind("archive", " archdate=\"\""))),
                53, "item 1 of <XXX> for system \"U1\" (point \"U1.P\"): ");
}

TEST_F(TemplateReportTest, UnwritableOutputIsReported) {
  dir_.Write("tags3.xml", Template("custom", "U1", ""));
  Build(dir_.File("tags3.xml"), dir_.File("missing/out3.xml"));
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0].rfind("[75] ", 0), 0u) << Log()[0];
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));
}

// The 16-bit counters: 32767 entries are processed, 32768 fail after the last
// pass, more fail before the first.
std::string Names(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += (i > 1 ? ",S" : "S") + std::to_string(i);
  }
  return text;
}

TEST_F(TemplateReportTest, SystemListLimits) {
  EXPECT_EQ(Succeed(Template("custom", Names(32767), "")).size(), 32767u);
  ExpectFailure(Template("custom", Names(32768), ""), 6,
                "the list of systems holds 32768 entries");
  // Without a root, 32768 entries reach the first system; 32769 do not.
  ExpectFailure(Template("custom", Names(32768), "", false), 91,
                "no <root> element to take the records of system \"S1\"");
  ExpectFailure(Template("custom", Names(32769), "", false), 6,
                "the list of systems holds 32769 entries");
  // A range of 32768 numbers fails after its last pass.
  ExpectFailure(Template("r", "-1,32766", ""), 6,
                "the list of systems holds 32768 entries");
  ExpectFailure(Template("r", "1,32767", ""), 6, "ends at 32767");
}

std::string Items(int count, const std::string& first) {
  std::string items = first;
  const std::string item = Item("N", "P", Kind("x"));
  for (int i = 1; i < count; ++i) items += item;
  return items;
}

TEST_F(TemplateReportTest, ItemListLimits) {
  const std::string plain = Item("N", "P", Kind("x"));
  const std::string failing = Item("N", "P", Kind("archive"));
  const std::vector<Record> records =
      Succeed(Template("custom", "U1", Items(32767, plain)));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].tags.size(), 32767u);
  ExpectFailure(Template("custom", "U1", Items(32768, plain)), 6,
                "<XXX> holds 32768 entries");
  // 32768 items are walked (the first one fails); 32769 are refused first.
  ExpectFailure(Template("custom", "U1", Items(32768, failing)), 91,
                "has no attribute archdate");
  ExpectFailure(Template("custom", "U1", Items(32769, failing)), 6,
                "<XXX> holds 32769 entries");
}

}  // namespace
}  // namespace tavrolin
