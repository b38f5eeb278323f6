// Tag lists in the system's code pages, read through MultiByteToWideChar.
#include "platform/text_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "document/document.h"
#include "tests/support/document_oracles.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

TEST(CodePageDecoder, FindsTheCodePageAnEncodingNameStandsFor) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string utf8;
  };
  const Case cases[] = {
      {"windows-1251", "\xcf\xf0\xe8", "\xd0\x9f\xd1\x80\xd0\xb8"},
      {"WINDOWS-1250", "\xb9", "\xc4\x85"},
      {"cp1253", "\xe1", "\xce\xb1"},
      {"ISO-8859-2", "\xb1", "\xc4\x85"},
      {"iso-8859-5", "\xb0", "\xd0\x90"},
      {"KOI8-R", "\xc1", "\xd0\xb0"},
      {"IBM866", "\x80", "\xd0\x90"},
      {"Shift_JIS", "\x93\xfa\x96\x7b", "\xe6\x97\xa5\xe6\x9c\xac"},
      {"GBK", "\xd6\xd0", "\xe4\xb8\xad"},
      {"Big5", "\xa4\xa4", "\xe4\xb8\xad"},
      {"EUC-KR", "\xc7\xd1", "\xed\x95\x9c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedText decoded = SystemTextDecoder().ToUtf8(c.name, c.bytes);
    EXPECT_EQ(decoded.status, DecodedText::Status::kDone);
    EXPECT_EQ(decoded.text, c.utf8);
  }
  for (const char* name : {"EBCDIC", "windows-", "cp99999", "iso-8859-99"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(SystemTextDecoder().ToUtf8(name, "x").status,
              DecodedText::Status::kUnknownEncoding);
  }
  // A Shift_JIS lead byte without its second byte.
  EXPECT_EQ(SystemTextDecoder().ToUtf8("Shift_JIS", "a\x93").status,
            DecodedText::Status::kInvalidBytes);
}

TEST(CodePageDecoder, TagListsInCodePagesOtherThan1252AreRead) {
  testing::TempDir folder;
  folder.Write("tags3.xml",
               "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
               "<root><n>\xcf\xf0\xe8\xf2\xee\xea</n></root>\r\n");
  xml::Document document{SystemTextDecoder()};
  ASSERT_TRUE(document.Load(*OpenInputFile(folder.File("tags3.xml"))))
      << document.load_error();
  EXPECT_EQ(document.FirstElementByTagName("n").Text(),
            "\xd0\x9f\xd1\x80\xd0\xb8\xd1\x82\xd0\xbe\xd0\xba");
  EXPECT_EQ(testing::SavedText(document, "windows-1251"),
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?><root><n>"
            "\xd0\x9f\xd1\x80\xd0\xb8\xd1\x82\xd0\xbe\xd0\xba</n></root>");

  folder.Write("tags2.xml",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
               "<root><n>\x93\xfa\x96\x7b</n></root>");
  ASSERT_TRUE(document.Load(*OpenInputFile(folder.File("tags2.xml"))))
      << document.load_error();
  EXPECT_EQ(document.FirstElementByTagName("n").Text(),
            "\xe6\x97\xa5\xe6\x9c\xac");

  folder.Write("bad.xml", "<?xml version=\"1.0\" encoding=\"EBCDIC\"?><root/>");
  EXPECT_FALSE(document.Load(*OpenInputFile(folder.File("bad.xml"))));
  EXPECT_EQ(document.load_error(),
            "Unknown encoding \"EBCDIC\" in " + folder.File("bad.xml"));
}

}  // namespace
}  // namespace tavrolin
