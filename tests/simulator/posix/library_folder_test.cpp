// Where the simulator's library finds its data file when no variable names
// one: beside the library itself, wherever that was loaded from.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "historian/basPI_API.h"
#include "platform/dynamic_library.h"
#include "simulator/core/data_source.h"
#include "tests/support/simulator_env.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::simulator {
namespace {

TEST(LibraryTest, WithoutTheVariableTheFileBesideTheLibraryIsRead) {
  // A copy of the library in a folder of its own, with its data file.
  const tavrolin::testing::TempDir dir;
  const auto bin = std::filesystem::path(std::getenv("TAVROLIN_TEST_BIN"));
  std::filesystem::copy_file(bin / "libpiapi32.so",
                             dir.path() / "libpiapi32.so");
  dir.Write(kDefaultDataFile, "point BESIDE 5 analog\n");
  testing::SetEnv(kDataVariable, nullptr);
  const std::unique_ptr<LibraryLoader> loader = CreateLibraryLoader();
  basPI_API copy(*loader, {(dir.path() / "libpiapi32.so").string(),
                           (bin / "libpilog32.so").string()});
  char name[] = "BESIDE";
  int32_t number = 0;
  EXPECT_EQ(copy.pipt_findpoint(name, &number), 0);
  EXPECT_EQ(number, 5);
}

}  // namespace
}  // namespace tavrolin::simulator
