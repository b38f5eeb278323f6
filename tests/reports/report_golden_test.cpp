// Byte-exact reports and historian call sequences over real tag lists: the
// example lists and lists that hold every kind of node, markup characters,
// text beyond ASCII and unusual places for `root`. Each case's report file
// and the stand-in historian's call log are compared with the files recorded
// in tests/reports/golden/. Set TAVROLIN_UPDATE_GOLDEN=1 to record them anew
// (only when a change of the output is intended).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "reports/category_report.h"
#include "reports/template_report.h"
#include "tests/support/report_services.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using testing::ReadFile;
using testing::TempDir;

const std::filesystem::path kSourceFolder =
    std::filesystem::path(__FILE__).parent_path();
const std::filesystem::path kGoldenFolder = kSourceFolder / "golden";
const std::filesystem::path kExamplesFolder =
    kSourceFolder.parent_path().parent_path() / "examples";

enum class Builder { kCategory, kTemplate };

struct GoldenCase {
  const char* name;
  Builder builder;
  // The tag list: a file of examples/ when `example` is set, else `content`.
  const char* example;
  const char* content;
  LocalDateTime now = {2026, 12, 6, 6, 43, 30};
};

// Points with values of every form of number text, states with markup
// characters and text beyond ASCII, a name the historian rewrites.
constexpr char kScript[] =
    "point FI101 1\npoint TI102 2\npoint PI103 3\npoint LI201 4\n"
    "point FI202 5\npoint P101 6\npoint V102 7\npoint CB1 8\npoint CB2 9\n"
    "point U1.FI101 11\npoint U2.FI101 12\npoint U1.TI102 13\n"
    "point U2.TI102 14\npoint U1.LI301 15\npoint U2.LI301 16\n"
    "point A01.SI401 21\npoint A02.SI401 22\npoint A03.SI401 23\n"
    "point \xC3\x9C"
    "1.F&<1 31\npoint S2.F&<1 32\n"
    "rewrite CB2 CB9\n"
    "snapshot 1 42 0\nsnapshot 2 -3.25 0\nsnapshot 3 0.5 0\n"
    "snapshot 4 -0.0625 0\nsnapshot 5 1234567.8 0\nsnapshot 6 1 2\n"
    "snapshot 7 0 3\nsnapshot 8 1 4\nsnapshot 9 0 4\nsnapshot 11 12345678 0\n"
    "snapshot 12 0.00001234 0\nsnapshot 21 -250000000 0\n"
    "snapshot 22 3.4e38 0\nsnapshot 31 7 0\n"
    "state 2 Running & <on>\nstate 3 Zu \xC3\xBC\"'>\nstate 4 CLOSED\n"
    "summary 11 17.5\nsummary 12 -1\nsummary 13 99.25\nsummary 15 0.1\n"
    "summary 21 6\nsummary 22 7e-9\nsummary 31 8\n"
    "archive 13 21.75\narchive 14 -4\narchive 16 1e7\narchive 23 2.5\n"
    "archive 32 100\n"
    "parsetime 05-Dec-26 00:00:00 = 500\n"
    "parsetime 06-Dec-26 00:00:00 = 600\n"
    "parsetime 06-Dec-26 06:43:30 = 643\n";

const GoldenCase kCases[] = {
    {"example_tags", Builder::kCategory, "tags.xml", nullptr},
    {"example_tags3", Builder::kTemplate, "tags3.xml", nullptr},
    {"example_tags2", Builder::kTemplate, "tags2.xml", nullptr},
    {"category_nodes", Builder::kCategory, nullptr,
     "<?xml version=\"1.0\"?>\n<!DOCTYPE plant>\n<plant a=\"x&amp;&lt;&quot;\">"
     "<!-- head -->\n"
     "<analog><t><d>Feed &amp; flow</d><n>FI101</n></t>"
     "<t><d>\xC3\x9C"
     "ber</d><n>TI102</n><Value>old</Value></t>"
     "<t><d/><n> PI103 </n></t></analog><?pi x?>\n"
     "<analog2><t><d><![CDATA[<raw>]]></d><n>LI201</n></t>"
     "<t><d>b</d><n>NOPE</n></t></analog2>\n"
     "<digital><t><d>pump</d><n>P101</n></t><t><d>v</d><n>V102</n></t>"
     "</digital><digital><t><d>second</d><n>P101</n></t></digital>\n"
     "<breaker><t><d>cb</d><n>CB1</n></t><t><d>cb2</d><n>CB2</n></t>"
     "</breaker><x>\xE2\x82\xAC</x></plant>\n<!-- tail -->\n"},
    {"template_nodes", Builder::kTemplate, nullptr,
     "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>\n"
     "<!-- list -->\n<doc q=\"&quot;&apos;&lt;&amp;\">"
     "<system><sel><mode>custom</mode><list>U1,U2,\xC3\x9C"
     "1,S2</list>"
     "</sel><more>kept</more></system>"
     "<XXX>"
     "<i><n>Snap &amp; &lt;shot&gt;</n><p>XXX.FI101</p><k>snapshot</k></i>"
     "<i><n><![CDATA[sum]]>mary</n><p>XXX.FI101</p>"
     "<k code=\" 2.5 \" startdate=\"yesterday\" enddate=\"today\">Summary</k>"
     "</i>"
     "<i><n>\xE2\x82\xAC now</n><p>XXX.TI102</p><k archdate=\"now\" x=\"1\">"
     "ARCHIVE<!-- c --></k></i>"
     "<i><n/><p>XXX.TI102</p><k code=\"0\" startdate=\"now\" "
     "enddate=\"Now\">summary</k></i>"
     "<i><n>other</n><p>XXX.LI301/XXX</p><k archdate=\" now\">archive</k></i>"
     "<i><n>manual</n><p>XXX.SPARE</p><k>manual</k></i>"
     "<i><n>empty</n><p>SPARE</p><k/></i>"
     "<i><n>no pattern</n><p/><k>snapshots</k></i>"
     "</XXX>"
     "<before/><root r=\"1\"><old>x</old><?p y?></root><after>z</after>"
     "</doc>\n<?tail?>\n"},
    {"template_range_midnight",
     Builder::kTemplate,
     nullptr,
     "<root><system><r><m>range</m><v> 1 , 3.4 ,9</v></r></system><XXX>"
     "<i><n>s</n><p>XXX.SI401</p><k>SNAPSHOT</k></i>"
     "<i><n>a</n><p>XXX.SI401</p><k archdate=\"now\">archive</k></i>"
     "<i><n>y</n><p>XXX.SI401</p><k code=\"1\" startdate=\"yesterday\" "
     "enddate=\"today\">summary</k></i></XXX></root>",
     {2027, 1, 1, 0, 0, 0}},
    {"template_empty_list", Builder::kTemplate, nullptr,
     "<r><root/><system><s><m>custom</m><l></l></s></system>"
     "<XXX><i><n>a</n><p>b</p><k>c</k></i></XXX></r>"},
    {"template_empty_root", Builder::kTemplate, nullptr,
     "<r><system><s><m>custom</m><l>U1,U2</l></s></system>"
     "<XXX/><root/><tail/></r>"},
    {"template_root_inside_item", Builder::kTemplate, nullptr,
     "<d><system><s><m>custom</m><l>U1,U2</l></s></system>"
     "<XXX><i><n>first</n><p>XXX.FI101</p><k>snapshot</k></i>"
     "<i><root><x>r</x></root><p>XXX.TI102</p><k>snapshot</k></i></XXX></d>"},
    {"template_root_is_item", Builder::kTemplate, nullptr,
     "<d><system><s><m>custom</m><l>U1,U2</l></s></system>"
     "<XXX><i><n>first</n><p>XXX.FI101</p><k>snapshot</k></i>"
     "<root><n>second</n><p>XXX.FI101</p><k>manual</k></root></XXX></d>"},
};

class ReportGoldenTest : public ::testing::TestWithParam<GoldenCase> {
 protected:
  void SetUp() override { historian_.Script(kScript); }

  TempDir folder_;
  testing::StandInHistorian historian_{folder_};
};

void Compare(const std::filesystem::path& golden, const std::string& actual) {
  if (std::getenv("TAVROLIN_UPDATE_GOLDEN") != nullptr) {
    std::filesystem::create_directories(golden.parent_path());
    std::ofstream(golden, std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(actual, ReadFile(golden)) << golden;
}

TEST_P(ReportGoldenTest, ReportAndCallsAreTheRecordedOnes) {
  const GoldenCase& golden = GetParam();
  const std::string input = folder_.File("tags.xml");
  if (golden.example != nullptr) {
    std::filesystem::copy_file(kExamplesFolder / golden.example, input);
  } else {
    folder_.Write("tags.xml", golden.content);
  }
  testing::TestReportServices services;
  services.clock.now = golden.now;

  const std::string output = folder_.File("out.xml");
  if (golden.builder == Builder::kCategory) {
    MakeCategoryReport(services.services, input, output);
  } else {
    MakeTemplateReport(services.services, input, output);
  }
  Compare(kGoldenFolder / (std::string(golden.name) + ".xml"),
          ReadFile(output));
  Compare(kGoldenFolder / (std::string(golden.name) + ".calls"),
          historian_.Calls());
}

INSTANTIATE_TEST_SUITE_P(Lists, ReportGoldenTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& test) {
                           return std::string(test.param.name);
                         });

}  // namespace
}  // namespace tavrolin
