// Tag lists as a conforming XML 1.0 processor reads them, loaded from real
// files: every malformed case fails with the file, line and column; every
// well-formed case is read as XML reads it and written out so that it reads
// back with the same texts.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include "document/document.h"
#include "tests/support/document_oracles.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::xml {
namespace {

using namespace std::string_literals;
using testing::SavedText;
using testing::TempDir;

// Names a parameterised case after its label: letters and digits as they
// are, every other character "_".
struct LabelName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    std::string name;
    for (const char c : std::string(info.param.label)) {
      name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
  }
};

// A tag list written to a real file and loaded from there.
class XmlReaderTest : public ::testing::Test {
 protected:
  Document document_{SystemTextDecoder()};
  TempDir folder_;

  bool Load(const std::string& content) {
    folder_.Write("tags.xml", content);
    return document_.Load(*OpenInputFile(folder_.File("tags.xml")));
  }
};

struct MalformedCase {
  const char* label;
  std::string bytes;
  const char* reason;  // expat's words, between the parentheses
  int line;
  int column;
};

const std::vector<MalformedCase>& MalformedCases() {
  static const std::vector<MalformedCase> cases = {
      {"duplicate attribute", "<r>\n<k code=\"1\" code=\"2\"/></r>",
       "duplicate attribute", 2, 13},
      {"undefined entity", "<r><p>XXX.F&nosuch;</p></r>", "undefined entity", 1,
       12},
      {"bare ampersand", "<r>a & b</r>", "not well-formed (invalid token)", 1,
       7},
      {"lt in attribute", "<r a=\"x<y\"/>", "not well-formed (invalid token)",
       1, 8},
      {"CDATA end in text", "<r>a]]>b</r>", "not well-formed (invalid token)",
       1, 7},
      {"text before the root", "x<r/>", "not well-formed (invalid token)", 1,
       2},
      {"text after the root", "<r/>\nx", "junk after document element", 2, 1},
      {"second root", "<r/><s/>", "junk after document element", 1, 5},
      // A micro sign is no name character, in any encoding.
      {"micro sign in a Latin-1 attribute name",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r><k "
       "a\xb5"
       "b=\"1\"/></r>",
       "not well-formed (invalid token)", 2, 8},
      {"double hyphen in comment", "<r><!-- a -- b --></r>",
       "not well-formed (invalid token)", 1, 13},
      {"declaration after a comment", "<!-- c --><?xml version=\"1.0\"?><r/>",
       "XML or text declaration not at start of entity", 1, 11},
      {"surrogate reference", "<r>&#xD800;</r>",
       "reference to invalid character number", 1, 4},
      {"U+FFFE reference", "<r>&#xFFFE;</r>",
       "reference to invalid character number", 1, 4},
      {"NUL reference", "<r>before&#0;after</r>",
       "reference to invalid character number", 1, 10},
      {"control character", "<r>\x01</r>", "not well-formed (invalid token)", 1,
       4},
      {"invalid name character", "<n\xc3\x97/>",
       "not well-formed (invalid token)", 1, 3},
      {"invalid UTF-8", "<r>\n ok \xc3(</r>", "not well-formed (invalid token)",
       2, 5},
      {"non-ASCII in US-ASCII",
       "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<r>\xe9</r>",
       "not well-formed (invalid token)", 2, 4},
      {"mismatched tag", "<r>\n  <a>\n</r>", "mismatched tag", 3, 3},
      {"empty file", "", "no element found", 1, 1},
      {"no element", "<!-- only -->", "no element found", 1, 14},
      {"unclosed root", "<r><a/>", "no element found", 1, 8},
      {"odd UTF-16", "\xff\xfe<\0r\0/\0>"s, "unclosed token", 1, 2},
  };
  return cases;
}

class MalformedTagList : public XmlReaderTest,
                         public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedTagList, FailsNamingFileLineColumnAndReason) {
  const MalformedCase& c = GetParam();
  EXPECT_FALSE(Load(c.bytes));
  EXPECT_EQ(document_.load_error(), "Not well-formed XML (" +
                                        std::string(c.reason) + ") in " +
                                        folder_.File("tags.xml") + " at line " +
                                        std::to_string(c.line) + ", column " +
                                        std::to_string(c.column));
  EXPECT_FALSE(document_.FirstElementByTagName("r"));
  EXPECT_EQ(SavedText(document_, "UTF-8"), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedTagList,
                         ::testing::ValuesIn(MalformedCases()), LabelName());

struct WellFormedCase {
  const char* label;
  std::string bytes;
  // The texts of the elements named "t", in document order (UTF-8).
  std::vector<std::string> texts;
};

// The text and CDATA children of `element`, joined.
std::string OwnText(const Node& element) {
  std::string text;
  for (Node part = element.ChildAt(0); part; part = part.NextSibling()) {
    if (part.kind() == NodeKind::kText || part.kind() == NodeKind::kCData) {
      text += part.Text();
    }
  }
  return text;
}

// Appends the own texts of the elements named "t" beneath `node`, in
// document order.
void TextsOfT(const Node& node, std::vector<std::string>& texts) {
  for (Node child = node.ChildAt(0); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    if (child.Name() == "t") texts.push_back(OwnText(child));
    TextsOfT(child, texts);
  }
}

// The texts of every element named "t" in a serialised document (whose root
// is "r" or "t"), as the conforming reader reads it back from a file.
std::vector<std::string> TextsReadBack(const std::string& serialised) {
  TempDir folder;
  folder.Write("back.xml", serialised);
  Document back{SystemTextDecoder()};
  EXPECT_TRUE(back.Load(*OpenInputFile(folder.File("back.xml"))))
      << back.load_error() << "\n"
      << serialised;
  std::vector<std::string> texts;
  if (const Node root = back.FirstElementByTagName("r")) {
    TextsOfT(root, texts);
  } else if (const Node root_t = back.FirstElementByTagName("t")) {
    texts.push_back(OwnText(root_t));
    TextsOfT(root_t, texts);
  }
  return texts;
}

const std::vector<WellFormedCase>& WellFormedCases() {
  static const std::vector<WellFormedCase> cases = {
      {"windows-1251",
       "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r><t>\xcf\xf0\xe8"
       "</t></r>",
       {"\xd0\x9f\xd1\x80\xd0\xb8"}},
      {"ISO-8859-7",
       "<?xml version='1.0' encoding='ISO-8859-7'?><r><t>\xe1"
       "</t></r>",
       {"\xce\xb1"}},
      {"ISO-8859-2",
       "<?xml version='1.0' encoding='iso-8859-2'?><r><t>\xb1"
       "</t></r>",
       {"\xc4\x85"}},
      {"KOI8-R",
       "<?xml version='1.0' encoding='KOI8-R'?><r><t>\xc1</t></r>",
       {"\xd0\xb0"}},
      {"IBM866",
       "<?xml version='1.0' encoding='IBM866'?><r><t>\x80</t></r>",
       {"\xd0\x90"}},
      {"windows-1252",
       "<?xml version='1.0' encoding='windows-1252'?><r><t>"
       "\x80\xe9</t></r>",
       {"\xe2\x82\xac\xc3\xa9"}},
      {"ISO-8859-1",
       "<?xml version='1.0' encoding='ISO-8859-1'?><r><t>\xe9"
       "</t></r>",
       {"\xc3\xa9"}},
      {"Shift_JIS",
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r><t>\x93\xfa\x96\x7b"
       "</t></r>",
       {"\xe6\x97\xa5\xe6\x9c\xac"}},
      {"EUC-JP",
       "<?xml version='1.0' encoding='EUC-JP'?><r><t>\xc6\xfc"
       "</t></r>",
       {"\xe6\x97\xa5"}},
      {"GBK",
       "<?xml version='1.0' encoding='GBK'?><r><t>\xd6\xd0</t></r>",
       {"\xe4\xb8\xad"}},
      {"Big5",
       "<?xml version='1.0' encoding='Big5'?><r><t>\xa4\xa4</t></r>",
       {"\xe4\xb8\xad"}},
      {"EUC-KR",
       "<?xml version='1.0' encoding='EUC-KR'?><r><t>\xc7\xd1"
       "</t></r>",
       {"\xed\x95\x9c"}},
      {"UTF-16LE with BOM",
       "\xff\xfe<\0r\0>\0<\0t\0>\0\xe9\0\x3d\xd8\x00\xde<\0/\0t\0>\0<\0/\0r\0>"
       "\0"s,
       {"\xc3\xa9\xf0\x9f\x98\x80"}},
      {"UTF-8 with BOM", "\xef\xbb\xbf<r><t>\xc3\xa9</t></r>", {"\xc3\xa9"}},
      {"internal entities",
       "<!DOCTYPE r [\n  <!ENTITY t \"TAG\">\n  <!ENTITY two \"&t;&t;\">\n]>\n"
       "<r><t>XXX.&t;</t><t>&two;</t></r>",
       {"XXX.TAG", "TAGTAG"}},
      {"entity with markup",
       "<!DOCTYPE r [<!ENTITY e \"<t>in</t>\">]><r>&e;<t>a&e;b</t></r>",
       {"in", "ab", "in"}},
      {"CR as a reference", "<r><t>a&#13;b&#13;&#10;c</t></r>", {"a\rb\r\nc"}},
      {"CR LF in text", "<r><t>a\r\nb\rc</t></r>", {"a\nb\nc"}},
      {"CDATA",
       "<r><t><![CDATA[<&>]]]]></t><t><![CDATA[ ]]></t></r>",
       {"<&>]]", " "}},
      {"character references",
       "<r><t>&#x1F600;&#xe9;&lt;&amp;&gt;&apos;&quot;</t></r>",
       {"\xf0\x9f\x98\x80\xc3\xa9<&>'\""}},
  };
  return cases;
}

class WellFormedTagList : public XmlReaderTest,
                          public ::testing::WithParamInterface<WellFormedCase> {
};

TEST_P(WellFormedTagList, ReadsAsXmlAndReadsBackTheSame) {
  const WellFormedCase& c = GetParam();
  ASSERT_TRUE(Load(c.bytes)) << document_.load_error();
  EXPECT_EQ(document_.FirstElementByTagName("t").Text(), c.texts.front());
  const std::string serialised = SavedText(document_, "UTF-8");
  EXPECT_EQ(TextsReadBack(serialised), c.texts) << serialised;

  // Loaded again from the report, the document is the same.
  folder_.Write("out.xml", serialised);
  Document again{SystemTextDecoder()};
  ASSERT_TRUE(again.Load(*OpenInputFile(folder_.File("out.xml"))))
      << again.load_error();
  EXPECT_EQ(SavedText(again, "UTF-8"), serialised);
}

INSTANTIATE_TEST_SUITE_P(Cases, WellFormedTagList,
                         ::testing::ValuesIn(WellFormedCases()), LabelName());

TEST_F(XmlReaderTest, DefaultAttributesAreAppliedAndTheDoctypeNameKept) {
  ASSERT_TRUE(
      Load("<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [\r\n"
           "  <!ATTLIST k code CDATA \"5\" kind CDATA #IMPLIED>\r\n"
           "  <!-- note -->\r\n  <?pi x?>\r\n  <!ENTITY e \"&#13;\">\r\n]>\r\n"
           "<r><k/><k code=\"7\"/></r>"))
      << document_.load_error();
  EXPECT_EQ(document_.FirstElementByTagName("k").Attribute("code"), "5");
  EXPECT_EQ(document_.FirstElementByTagName("k").Attribute("kind"),
            std::nullopt);
  EXPECT_EQ(SavedText(document_, "UTF-8"),
            "<?xml version=\"1.0\"?><!DOCTYPE r>"
            "<r><k code=\"5\"/><k code=\"7\"/></r>");
}

TEST_F(XmlReaderTest, AttributeWhiteSpaceIsWrittenAsReferences) {
  ASSERT_TRUE(Load("<r a=\"x&#9;y&#10;z&#13;w\" b=\"p\tq\nr\"/>"));
  const std::string out = SavedText(document_, "UTF-8");
  EXPECT_EQ(out, "<r a=\"x&#09;y&#10;z&#13;w\" b=\"p q r\"/>");
  folder_.Write("back.xml", out);
  Document back{SystemTextDecoder()};
  ASSERT_TRUE(back.Load(*OpenInputFile(folder_.File("back.xml"))))
      << back.load_error();
  EXPECT_EQ(back.FirstElementByTagName("r").Attribute("a"), "x\ty\nz\rw");
}

TEST_F(XmlReaderTest, NothingOutsideTheFileIsRead) {
  folder_.Write("secret.txt", "SECRET-CONTENT");
  folder_.Write("evil.dtd", "<!ENTITY inner \"SECRET-CONTENT\">");
  const std::string secret = folder_.File("secret.txt");
  const std::string file = folder_.File("tags.xml");

  // An external general entity, referenced: refused where it is used.
  EXPECT_FALSE(Load("<!DOCTYPE r [\n<!ENTITY ext SYSTEM \"file://" + secret +
                    "\">\n]>\n<r>\n<t>&ext;</t></r>"));
  EXPECT_EQ(document_.load_error(),
            "Reference to the external entity \"file://" + secret +
                "\" (never read) in " + file + " at line 5, column 4");

  // An entity declared only in the external subset is never read either.
  EXPECT_FALSE(Load("<!DOCTYPE r SYSTEM \"evil.dtd\">\n<r><t>&inner;</t></r>"));
  EXPECT_EQ(document_.load_error(),
            "Reference to the entity &inner; declared outside the file (never "
            "read) in " +
                file + " at line 2, column 14");

  // A parameter entity naming a file: not read, and what follows it is not
  // processed, as XML says of a processor that does not read it.
  EXPECT_FALSE(
      Load("<!DOCTYPE r [\n<!ENTITY % p SYSTEM \"" + secret +
           "\">\n%p;\n<!ENTITY plain \"x\">\n]>\n<r><t>&plain;</t></r>"));
  EXPECT_NE(document_.load_error().find("&plain; declared outside the file"),
            std::string::npos);

  // Declared but unused, external entities and notations do no harm; the
  // doctype keeps its name alone, so that nothing names another file.
  ASSERT_TRUE(
      Load("<!DOCTYPE r PUBLIC \"-//x//y\" \"evil.dtd\" [\n"
           "<!ENTITY ext SYSTEM \"" +
           secret +
           "\">"
           "<!NOTATION n SYSTEM \"z\"><!ENTITY % p SYSTEM \"q\">]>"
           "<r><t>x</t></r>"))
      << document_.load_error();
  EXPECT_EQ(SavedText(document_, "UTF-8"), "<!DOCTYPE r><r><t>x</t></r>");
}

TEST_F(XmlReaderTest, EntityExpansionBombFailsQuickly) {
  std::string bomb = "<!DOCTYPE r [\n<!ENTITY e0 \"lol\">\n";
  for (int level = 1; level <= 9; ++level) {
    bomb += "<!ENTITY e" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) bomb += "&e" + std::to_string(level - 1) + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<r><t>&e9;</t></r>";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Load(bomb));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_NE(
      document_.load_error().find(
          "Not well-formed XML (limit on input amplification factor (from "
          "DTD and entities) breached)"),
      std::string::npos)
      << document_.load_error();
  // Generous for a loaded machine; without the protection it takes minutes
  // and gigabytes.
  EXPECT_LT(took, std::chrono::seconds(5));
  // The same document works afterwards.
  EXPECT_TRUE(Load("<r><t>x</t></r>"));
}

}  // namespace
}  // namespace tavrolin::xml
