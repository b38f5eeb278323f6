// The buffer and the failure message that the report file writers of both
// systems share; each backend's own tests cover what reaches the disk.
#include "platform/report_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace tavrolin {
namespace {

constexpr std::size_t kCapacity = BufferedReportSink::kCapacity;

TEST(BufferedReportSinkTest, HandsOnFullBuffersAndLargePiecesInOrder) {
  std::vector<std::size_t> writes;
  std::string written;
  BufferedReportSink sink([&](std::string_view bytes) {
    writes.push_back(bytes.size());
    written.append(bytes);
  });
  sink.Write(std::string(kCapacity - 1, 'a'));
  sink.Write("b");  // fills the buffer exactly: still held
  EXPECT_TRUE(writes.empty());
  sink.Write("c");  // one too many: the full buffer goes first
  // Larger than the buffer: at once, after what is held.
  sink.Write(std::string(kCapacity + 1, 'd'));
  EXPECT_EQ(writes, (std::vector<std::size_t>{kCapacity, 1, kCapacity + 1}));
  sink.Write("e");
  sink.Flush();
  sink.Flush();  // nothing left: no empty write
  EXPECT_EQ(writes.size(), 4u);
  EXPECT_EQ(written, std::string(kCapacity - 1, 'a') + "bc" +
                         std::string(kCapacity + 1, 'd') + "e");
}

// The piece that fills the buffer past its size is the first written, and
// its failure ends the producer.
TEST(BufferedReportSinkTest, TheFirstFailedWriteEndsTheReport) {
  BufferedReportSink sink([](std::string_view) {
    throw ReportFileError("/srv/out.xml", "File too large");
  });
  constexpr std::size_t kPiece = 10000;
  std::size_t pieces = 0;
  try {
    for (; pieces < 1000; ++pieces) sink.Write(std::string(kPiece, 'x'));
    ADD_FAILURE() << "no write failed";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathAccess);
    EXPECT_EQ(error.description(),
              "Cannot write the report file /srv/out.xml: File too large");
  }
  EXPECT_EQ(pieces, kCapacity / kPiece);
}

}  // namespace
}  // namespace tavrolin
