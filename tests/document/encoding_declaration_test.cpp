// A document written in an 8-bit code page names its encoding when it holds
// characters beyond ASCII, so that it reads back correctly.
#include <gtest/gtest.h>

#include <string>

#include "document/document.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::xml {
namespace {

std::string SerializeFile(const std::string& content,
                          std::string_view encoding) {
  testing::TempDir folder;
  folder.Write("in.xml", content);
  Document document{SystemTextDecoder()};
  EXPECT_TRUE(document.Load(*OpenInputFile(folder.File("in.xml"))))
      << document.load_error();
  return document.Serialize(encoding);
}

TEST(EncodingDeclaration, AsciiDocumentIsLeftAsItIs) {
  EXPECT_EQ(SerializeFile("<a><b>x</b></a>", "windows-1252"),
            "<a><b>x</b></a>");
  EXPECT_EQ(SerializeFile("<?xml version=\"1.0\"?><a/>", "windows-1252"),
            "<?xml version=\"1.0\"?><a/>");
}

TEST(EncodingDeclaration, Utf8NeedsNoDeclaration) {
  EXPECT_EQ(SerializeFile("<a>Gr\xC3\xBC\xC3\x9F"
                          "e</a>",
                          "UTF-8"),
            "<a>Gr\xC3\xBC\xC3\x9F"
            "e</a>");
}

TEST(EncodingDeclaration, AddedWhenTheDocumentHasNone) {
  EXPECT_EQ(SerializeFile("<a>\xC3\xBC</a>", "windows-1252"),
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\xC3\xBC</a>");
}

TEST(EncodingDeclaration, AddedToADeclarationWithoutEncoding) {
  EXPECT_EQ(
      SerializeFile("<?xml version=\"1.0\" standalone=\"yes\"?><a>\xC3\xBC</a>",
                    "windows-1252"),
      "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>"
      "<a>\xC3\xBC</a>");
}

TEST(EncodingDeclaration, ExistingEncodingIsReplaced) {
  EXPECT_EQ(
      SerializeFile("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xBC</a>",
                    "windows-1250"),
      "<?xml version=\"1.0\" encoding=\"windows-1250\"?><a>\xC3\xBC</a>");
}

}  // namespace
}  // namespace tavrolin::xml
