// Texts in the ANSI code page.
#include "platform/windows/code_page.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace tavrolin::windows {
namespace {

TEST(AnsiCodePage, WritesWesternTextInWindows1252) {
  const AnsiCodePage code_page(1252);
  // u-umlaut, sharp s, euro sign.
  EXPECT_EQ(code_page.FromUtf8("Gr\xC3\xBC\xC3\x9F"
                               "e \xE2\x82\xAC"),
            "Gr\xFC\xDF"
            "e \x80");
  EXPECT_EQ(code_page.ToUtf8("Gr\xFC\xDF"
                             "e \x80"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC");
  EXPECT_EQ(code_page.XmlEncodingName(), "windows-1252");
  EXPECT_FALSE(code_page.IsUtf8());
}

TEST(AnsiCodePage, CharacterOutsideTheCodePageBecomesTheSubstitute) {
  const AnsiCodePage code_page(1252);
  // A check mark and a Greek omega: neither is in windows-1252.
  EXPECT_EQ(code_page.FromUtf8("A\xE2\x9C\x93"
                               "B\xCE\xA9"),
            "A?B?");
}

TEST(AnsiCodePage, NoLookAlikeForACharacterOutsideTheCodePage) {
  const AnsiCodePage code_page(1252);
  // a with macron has a look-alike "a" in windows-1252; the tag name must
  // not silently become another one.
  EXPECT_EQ(code_page.FromUtf8("\xC4\x81"), "?");
}

TEST(AnsiCodePage, AsciiPassesUnchanged) {
  const AnsiCodePage code_page(1252);
  const std::string ascii = "SINUSOID.PV <a b=\"1\"/>\r\n";
  EXPECT_EQ(code_page.FromUtf8(ascii), ascii);
  EXPECT_EQ(code_page.ToUtf8(ascii), ascii);
}

TEST(AnsiCodePage, Utf8CodePagePassesEverything) {
  const AnsiCodePage code_page(65001);
  EXPECT_TRUE(code_page.IsUtf8());
  EXPECT_EQ(code_page.XmlEncodingName(), "UTF-8");
  EXPECT_EQ(code_page.FromUtf8("\xE2\x9C\x93"), "\xE2\x9C\x93");
}

TEST(AnsiCodePage, SystemCodePageIsTheAnsiCodePage) {
  const AnsiCodePage code_page;
  EXPECT_EQ(code_page.number(), GetACP());
}

TEST(XmlEncodingName, NamesTheAnsiCodePages) {
  EXPECT_EQ(XmlEncodingNameOf(1250), "windows-1250");
  EXPECT_EQ(XmlEncodingNameOf(1251), "windows-1251");
  EXPECT_EQ(XmlEncodingNameOf(932), "Shift_JIS");
  EXPECT_EQ(XmlEncodingNameOf(936), "GBK");
}

}  // namespace
}  // namespace tavrolin::windows
