// Elements written as text (ElementStream) against the same elements made as
// nodes: the saved documents are the same bytes, whatever the texts hold.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "document/document.h"
#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::xml {
namespace {

using testing::TempDir;

class StringSink : public TextSink {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  std::string text_;
};

// Texts that need escaping, repair or nothing at all.
constexpr std::string_view kTexts[] = {
    "",
    "plain 1.5",
    "a&b<c>d \"q\" 'a' ]]>",
    "line\r\nnext\ttab",
    std::string_view("nul\0and\x01"
                     "control\x1F",
                     16),
    "\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80",
    "bad \xFF\xC3 end \xED\xA0\x80",
    "\xEF\xBF\xBE not a character",
    "&amp; stays text",
    "  ",
};

// The same document twice: once with the elements appended as nodes, once
// with them streamed; both saved.
void ExpectSameBytes(const std::string& tag_list,
                     std::string_view encoding_name) {
  TempDir folder;
  folder.Write("in.xml", tag_list);
  const ElementName system("S\xC3\xBC");
  const ElementName value("Value");

  Document nodes{SystemTextDecoder()};
  ASSERT_TRUE(nodes.Load(*OpenInputFile(folder.File("in.xml"))));
  Node parent = nodes.FirstElementByTagName("root");
  Node element = nodes.CreateElement(system.text());
  for (std::string_view text : kTexts) element.AppendTextElement(value, text);
  parent.AppendChild(element);
  Node empty = nodes.CreateElement("E");
  parent.AppendChild(empty);
  StringSink expected;
  nodes.Save(encoding_name, expected);

  Document streamed{SystemTextDecoder()};
  ASSERT_TRUE(streamed.Load(*OpenInputFile(folder.File("in.xml"))));
  ElementStream records;
  records.Open(system);
  for (std::string_view text : kTexts) records.AddTextElement(value, text);
  records.Close(system);
  const ElementName e("E");
  records.Open(e);
  records.Close(e);
  StringSink actual;
  streamed.Save(encoding_name, actual, streamed.FirstElementByTagName("root"),
                &records);
  EXPECT_EQ(actual.text_, expected.text_);

  // Appended as nodes from the stream, the same again.
  Document parsed{SystemTextDecoder()};
  ASSERT_TRUE(parsed.Load(*OpenInputFile(folder.File("in.xml"))));
  parsed.FirstElementByTagName("root").AppendElements(records);
  StringSink reparsed;
  parsed.Save(encoding_name, reparsed);
  EXPECT_EQ(reparsed.text_, expected.text_);
}

TEST(ElementStreamTest, SavesAsTheSameElementsMadeAsNodes) {
  const std::string lists[] = {
      "<root/>",
      "<root a=\"&lt;&amp;&quot;\r\n\t\"><x>1</x><!-- c --></root>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- a -->\n<d b='1'>"
      "<?p i?><root><![CDATA[<c>]]></root><after/>tail</d>\n<!-- z -->",
      "<a><b><c/><root q=\"\xC3\xA4\">t</root><e/></b><f/></a>",
  };
  for (const std::string& list : lists) {
    for (std::string_view encoding : {"UTF-8", "windows-1252"}) {
      SCOPED_TRACE(list + " as " + std::string(encoding));
      ExpectSameBytes(list, encoding);
    }
  }
}

TEST(ElementStreamTest, AsciiRecordsLeaveAnAsciiDocumentWithoutEncoding) {
  TempDir folder;
  folder.Write("in.xml", "<root/>");
  for (std::string_view text : {"plain", "\xC3\xBC"}) {
    Document document{SystemTextDecoder()};
    ASSERT_TRUE(document.Load(*OpenInputFile(folder.File("in.xml"))));
    ElementStream records;
    records.AddTextElement(ElementName("V"), text);
    StringSink out;
    document.Save("windows-1252", out, document.FirstElementByTagName("root"),
                  &records);
    EXPECT_EQ(out.text_.find("encoding=\"windows-1252\"") != std::string::npos,
              text != "plain")
        << out.text_;
  }
}

TEST(ElementStreamTest, NamesAreCheckedWhenMade) {
  for (std::string_view name : {"", "1a", "a b", "a:b:c", "\xFF"}) {
    EXPECT_THROW(ElementName{name}, Error) << name;
  }
  EXPECT_EQ(ElementName("tag").text(), "tag");
}

}  // namespace
}  // namespace tavrolin::xml
