// The document layer on real files: what loading keeps and drops, the
// encodings a tag list may come in, node access, and the saved form.
#include "document/document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/support/document_oracles.h"
#include "tests/support/errors.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::xml {
namespace {

using testing::SavedText;
using testing::TempDir;

class XmlDocumentTest : public ::testing::Test {
 protected:
  // Loads `content` from a real file and expects the load to succeed.
  void LoadText(std::string_view content) {
    folder_.Write("doc.xml", content);
    ASSERT_TRUE(document_.Load(*OpenInputFile(folder_.File("doc.xml"))))
        << document_.load_error();
    EXPECT_EQ(document_.load_error(), "");
  }
  // Loads `content` and expects the load to fail; returns the reason.
  std::string LoadError(std::string_view content) {
    folder_.Write("doc.xml", content);
    EXPECT_FALSE(document_.Load(*OpenInputFile(folder_.File("doc.xml"))));
    return document_.load_error();
  }

  TempDir folder_;
  Document document_{SystemTextDecoder()};
};

TEST_F(XmlDocumentTest, LoadDropsBlankTextAndKeepsOtherNodes) {
  LoadText(
      "<?xml version=\"1.0\"?>\n<root>\n  <list>\n    <!-- first -->\n"
      "    <?note keep?>\n    <![CDATA[ <raw> ]]>\n    text\n"
      "    <item/>\n  </list>\n</root>\n");
  const NodeList children =
      document_.FirstElementByTagName("list").ChildNodes();
  ASSERT_EQ(children.Length(), 5u);
  EXPECT_EQ(children.Item(0).kind(), NodeKind::kComment);
  EXPECT_EQ(children.Item(0).Text(), " first ");
  EXPECT_EQ(children.Item(1).kind(), NodeKind::kProcessingInstruction);
  EXPECT_EQ(children.Item(2).kind(), NodeKind::kCData);
  EXPECT_EQ(children.Item(2).Text(), " <raw> ");
  EXPECT_EQ(children.Item(3).kind(), NodeKind::kText);
  EXPECT_EQ(children.Item(3).Text(), "\n    text\n    ");
  EXPECT_TRUE(children.Item(4).IsElement());
  EXPECT_EQ(children.Item(4).Name(), "item");
  EXPECT_FALSE(children.Item(5));
  EXPECT_FALSE(children.Item(1000));
}

TEST_F(XmlDocumentTest, TextIsTextAndCDataBeneathInDocumentOrder) {
  LoadText(
      "<r><p>a<!--no--><q>b<![CDATA[&c]]><s>d</s></q><?pi no?>e&amp;</p>"
      "<empty/></r>");
  EXPECT_EQ(document_.FirstElementByTagName("p").Text(), "ab&cde&");
  EXPECT_EQ(document_.FirstElementByTagName("empty").Text(), "");
  EXPECT_EQ(document_.FirstElementByTagName("q").Name(), "q");
}

TEST_F(XmlDocumentTest, FirstElementByNameIsInDocumentOrderAndExact) {
  LoadText(
      "<r><x><Analog>1</Analog><analog>2<analog>3</analog></analog></x>"
      "<analog>4</analog><analog2>5</analog2></r>");
  EXPECT_EQ(document_.FirstElementByTagName("analog").Text(), "23");
  EXPECT_EQ(document_.FirstElementByTagName("Analog").Text(), "1");
  EXPECT_EQ(document_.FirstElementByTagName("analog2").Text(), "5");
  EXPECT_FALSE(document_.FirstElementByTagName("ANALOG"));
  EXPECT_FALSE(document_.FirstElementByTagName("analo"));
}

TEST_F(XmlDocumentTest, AttributesAreFoundByExactName) {
  LoadText("<r><k code=\"5\" Start=\"now\" empty=\"\"/></r>");
  const Node k = document_.FirstElementByTagName("k");
  EXPECT_EQ(k.Attribute("code"), "5");
  EXPECT_EQ(k.Attribute("empty"), "");
  EXPECT_EQ(k.Attribute("start"), std::nullopt);
  EXPECT_EQ(k.ChildNodes().Length(), 0u);
}

TEST_F(XmlDocumentTest, AppendedElementsAreSavedWithEscapedText) {
  LoadText(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- head -->\n"
      "<r a=\"&quot;x&lt;\">\n  <i><![CDATA[<keep>&]]></i>\n  <?pi data?>\n"
      "</r>\n");
  const Node item = document_.FirstElementByTagName("i");
  const ElementName value("Value");
  testing::AppendTextElement(item, value, "<&> \"q\"");
  testing::AppendTextElement(item, value, "");
  EXPECT_EQ(item.ChildNodes().Length(), 3u);

  EXPECT_EQ(SavedText(document_, "UTF-8"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- head -->"
            "<r a=\"&quot;x&lt;\"><i><![CDATA[<keep>&]]>"
            "<Value>&lt;&amp;&gt; \"q\"</Value><Value/></i><?pi data?></r>");
}

TEST_F(XmlDocumentTest, SavedDeclarationNamesTheEncodingWritten) {
  const std::string standalone = "<?xml version=\"1.0\" standalone=\"yes\"?>";
  const struct {
    std::string loaded;
    const char* encoding;
    std::string saved;
  } cases[] = {
      // A declaration that names an encoding names the one written.
      {"<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><r/>",
       "windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>"
       "<r/>"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xBC</a>",
       "windows-1250",
       "<?xml version=\"1.0\" encoding=\"windows-1250\"?><a>\xC3\xBC</a>"},
      // ASCII reads the same in any of these encodings: left as loaded, so
      // that reports are the same bytes on every system.
      {standalone + "<r/>", "windows-1252", standalone + "<r/>"},
      {"<a><b>x</b></a>", "windows-1252", "<a><b>x</b></a>"},
      // Beyond ASCII, an encoding other than UTF-8 must be named.
      {standalone + "<r>\xc3\xa9</r>", "UTF-8", standalone + "<r>\xc3\xa9</r>"},
      {standalone + "<r>\xc3\xa9</r>", "windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>"
       "<r>\xc3\xa9</r>"},
      {"<r>\xc3\xa9</r>", "UTF-8", "<r>\xc3\xa9</r>"},
      {"<r>\xc3\xa9</r>", "windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xc3\xa9</r>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.loaded + " as " + c.encoding);
    LoadText(c.loaded);
    EXPECT_EQ(SavedText(document_, c.encoding), c.saved);
  }
}

struct EncodingCase {
  const char* label;
  std::string bytes;
  std::string expected_text;  // UTF-8
  std::string expected_output;
};

TEST_F(XmlDocumentTest, TagListsLoadInEveryEncodingTheyComeIn) {
  using namespace std::string_literals;
  const std::string e_acute = "\xc3\xa9";
  const std::vector<EncodingCase> cases = {
      {"utf-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xc3\xa9</r>",
       e_acute, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xc3\xa9</r>"},
      {"utf-8 bom", "\xef\xbb\xbf<r>\xc3\xa9</r>", e_acute, "<r>\xc3\xa9</r>"},
      {"utf-16le bom",
       "\xff\xfe<\0?\0x\0m\0l\0 \0v\0e\0r\0s\0i\0o\0n\0=\0'\0001\0.\0000\0'\0 "
       "\0e\0n\0c\0o\0d\0i\0n\0g\0=\0'\0U\0T\0F\0-\0001\0006\0'\0?\0>\0"
       "<\0r\0>\0\xe9\0\x3d\xd8\x00\xde<\0/\0r\0>\0"s,
       e_acute + "\xf0\x9f\x98\x80",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xc3\xa9\xf0\x9f\x98\x80"
       "</r>"},
      {"utf-16be bom", "\xfe\xff\0<\0r\0>\0\xe9\0<\0/\0r\0>"s, e_acute,
       "<r>\xc3\xa9</r>"},
      {"iso-8859-1",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9\x80</r>",
       e_acute + "\xc2\x80",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xc3\xa9\xc2\x80</r>"},
      {"windows-1252",
       "<?xml version='1.0' encoding='windows-1252'?><r>\xe9\x80</r>",
       e_acute + "\xe2\x82\xac",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xc3\xa9\xe2\x82\xac</r>"},
  };
  for (const EncodingCase& c : cases) {
    SCOPED_TRACE(c.label);
    LoadText(c.bytes);
    EXPECT_EQ(document_.FirstElementByTagName("r").Text(), c.expected_text);
    EXPECT_EQ(SavedText(document_, "UTF-8"), c.expected_output);
  }
}

TEST_F(XmlDocumentTest, LoadFailuresLeaveTheDocumentEmptyAndSayWhy) {
  const std::string file = folder_.File("doc.xml");
  EXPECT_EQ(LoadError("<r>\n  <a>\n</r>"),
            "Not well-formed XML (mismatched tag) in " + file +
                " at line 3, column 3");
  EXPECT_FALSE(document_.FirstElementByTagName("r"));
  EXPECT_EQ(SavedText(document_, "UTF-8"), "");
  EXPECT_EQ(LoadError("<?xml version=\"1.0\" encoding=\"EBCDIC\"?><r/>"),
            "Unknown encoding \"EBCDIC\" in " + file);
  // Bytes that are not Shift_JIS text (a lead byte and a line end); on Linux
  // the converter also tells where they stand.
  const std::string invalid = LoadError(
      "<?xml version='1.0' encoding='Shift_JIS'?>\n<r>\x93\xfa\n\x93\n</r>");
#ifdef _WIN32
  EXPECT_EQ(invalid, "Invalid Shift_JIS text in " + file);
#else
  EXPECT_EQ(invalid,
            "Invalid Shift_JIS text in " + file + " at line 3, column 1");
#endif

  // Encodings outside the tag-list encodings are not converted, though the
  // system may have a converter.
  for (const char* encoding :
       {"UTF-7", "ISO-2022-JP", "windows-1259", "ISO-8859-12", "UTF-32"}) {
    EXPECT_EQ(LoadError("<?xml version=\"1.0\" encoding=\"" +
                        std::string(encoding) + "\"?><r/>"),
              "Unknown encoding \"" + std::string(encoding) + "\" in " + file);
  }

  // A file over the size limit is refused before it is read (a sparse
  // file: nothing is written).
  {
    std::ofstream(file, std::ios::trunc) << "<r/>";
    std::filesystem::resize_file(file, kMaxTagListSize + 1);
    const Error error =
        testing::ErrorOf([&] { document_.Load(*OpenInputFile(file)); });
    EXPECT_EQ(error.description(),
              "Too large for a tag list: " +
                  std::to_string(kMaxTagListSize + 1) + " bytes, at most " +
                  std::to_string(kMaxTagListSize) + ", in " + file);
  }

  // A failed load empties a document that held one before.
  LoadText("<r/>");
  EXPECT_FALSE(LoadError("<r>").empty());
  EXPECT_FALSE(document_.FirstElementByTagName("r"));
}

// A decoder for one made-up encoding in which '#' stands for e-acute.
class HashDecoder : public TextDecoder {
 public:
  DecodedText ToUtf8(std::string_view encoding,
                     std::string_view bytes) const override {
    names.emplace_back(encoding);
    DecodedText decoded;
    if (encoding != "x-hash") {
      decoded.status = DecodedText::Status::kUnknownEncoding;
      return decoded;
    }
    for (const char c : bytes) {
      if (c == '#') {
        decoded.text += "\xc3\xa9";
      } else {
        decoded.text += c;
      }
    }
    return decoded;
  }
  mutable std::vector<std::string> names;
};

TEST_F(XmlDocumentTest, EncodingsTheParserLacksGoThroughTheDecoder) {
  const HashDecoder decoder;
  Document document(decoder);
  folder_.Write("hash.xml",
                "<?xml version=\"1.0\" encoding=\"x-hash\"?><r>caf#</r>");
  ASSERT_TRUE(document.Load(*OpenInputFile(folder_.File("hash.xml"))))
      << document.load_error();
  EXPECT_EQ(document.FirstElementByTagName("r").Text(), "caf\xc3\xa9");
  // The converted text is read as UTF-8; the declaration names the encoding
  // the report is written in.
  EXPECT_EQ(SavedText(document, "UTF-8"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>caf\xc3\xa9</r>");
  // Encodings the parser reads itself never reach the decoder.
  folder_.Write("latin.xml",
                "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9</r>");
  ASSERT_TRUE(document.Load(*OpenInputFile(folder_.File("latin.xml"))));
  EXPECT_EQ(decoder.names, std::vector<std::string>{"x-hash"});
}

TEST_F(XmlDocumentTest, DeepDocumentsAreWalkedWithoutRecursion) {
  constexpr int kDepth = 50000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<d>";
  text += "x";
  for (int i = 0; i < kDepth; ++i) text += "</d>";
  LoadText(text);
  EXPECT_EQ(document_.FirstElementByTagName("d").Text(), "x");
  EXPECT_EQ(SavedText(document_, "UTF-8").size(), text.size());
}

}  // namespace
}  // namespace tavrolin::xml
