// Report output: the serialised document in the system's code page, followed
// by CR LF, handed to the writer as one replacement, converted piece by piece
// on its way.
#include "reports/report_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/support/fake_platform.h"
#include "tests/support/settings.h"
#include "tests/support/string_sink.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using testing::Latin1CodePage;
using testing::StringSink;
using testing::TempDir;

class RecordingWriter : public ReportFileWriter {
 public:
  struct Call {
    std::string path;
    std::string bytes;
  };
  std::vector<Call> calls;
  void ReplaceWith(const std::string& path,
                   const ReportProducer& produce) override {
    calls.push_back({path, testing::Produced(produce)});
  }
};

// However the text is cut into pieces, the bytes are those of converting it
// whole: a character cut in two would come out as two "?".
TEST(CodePageSinkTest, PiecesConvertAsTheWholeText) {
  const Latin1CodePage code_page;
  const std::string_view texts[] = {
      "plain",
      "\xC3\xBC\xC3\xA4 <a>\xE2\x82\xAC</a> \xF0\x9F\x98\x80!",
      "bad \xFF\xC3 \xC3",
      "\xF0\x9F\x98",
  };
  for (std::string_view text : texts) {
    const std::string whole = code_page.FromUtf8(text);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      for (std::size_t second = cut; second <= text.size(); ++second) {
        StringSink out;
        CodePageSink sink(code_page, out);
        sink.Write(text.substr(0, cut));
        sink.Write(text.substr(cut, second - cut));
        sink.Write(text.substr(second));
        sink.Finish();
        EXPECT_EQ(out.bytes_, whole)
            << text << " cut at " << cut << " and " << second;
      }
    }
    StringSink out;
    CodePageSink sink(code_page, out);
    for (const char c : text) sink.Write(std::string_view(&c, 1));
    sink.Finish();
    EXPECT_EQ(out.bytes_, whole) << text << " byte by byte";
  }
}

TEST(WriteReportTest, WritesTheDocumentInTheCodePageFollowedByCrLf) {
  TempDir folder;
  folder.Write("in.xml",
               "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<r>\n  <a>caf\xc3\xa9 \xe2\x82\xac</a>\n</r>\n");
  xml::Document document{SystemTextDecoder()};
  ASSERT_TRUE(document.Load(*OpenInputFile(folder.File("in.xml"))));
  RecordingWriter writer;

  WriteReport(document, "/reports/out.xml", testing::Utf8CodePage(), writer);
  ASSERT_EQ(writer.calls.size(), 1u);
  EXPECT_EQ(writer.calls[0].path, "/reports/out.xml");
  // No byte-order mark, no indentation, CR LF after the document.
  EXPECT_EQ(writer.calls[0].bytes,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<r><a>caf\xc3\xa9 \xe2\x82\xac</a></r>\r\n");

  // In another code page the declaration names the encoding written.
  WriteReport(document, "out.xml", Latin1CodePage(), writer);
  ASSERT_EQ(writer.calls.size(), 2u);
  EXPECT_EQ(writer.calls[1].bytes,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
            "<r><a>caf\xe9 ?</a></r>\r\n");
}

TEST(WriteReportTest, ADocumentWithoutDeclarationGetsOneWhenNotUtf8) {
  TempDir folder;
  folder.Write("in.xml", "<r>\xc3\xa9</r>");
  xml::Document document{SystemTextDecoder()};
  ASSERT_TRUE(document.Load(*OpenInputFile(folder.File("in.xml"))));
  RecordingWriter writer;
  WriteReport(document, "out.xml", testing::Utf8CodePage(), writer);
  EXPECT_EQ(writer.calls.at(0).bytes, "<r>\xc3\xa9</r>\r\n");
  WriteReport(document, "out.xml", Latin1CodePage(), writer);
  EXPECT_EQ(writer.calls.at(1).bytes,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9</r>\r\n");
}

TEST(WriteReportTest, TheRealWriterReplacesTheFile) {
  TempDir folder;
  folder.Write("in.xml", "<r><a>1</a></r>");
  folder.Write("out.xml", std::string(10000, 'o'));
  xml::Document document{SystemTextDecoder()};
  ASSERT_TRUE(document.Load(*OpenInputFile(folder.File("in.xml"))));
  WriteReport(document, folder.File("out.xml"), testing::Utf8CodePage(),
              *CreateReportFileWriter());
  EXPECT_EQ(testing::ReadFile(folder.File("out.xml")), "<r><a>1</a></r>\r\n");
}

}  // namespace
}  // namespace tavrolin
