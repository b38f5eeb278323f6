// The historian binding's failures, with the real dynamic loader and real
// shared libraries: a library not found (53), one that does not load (48),
// a function it lacks (453).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "historian/basPI_API.h"
#include "platform/error.h"
#include "platform/posix/process.h"
#include "tests/support/errors.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

class HistorianBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("STUB_HISTORIAN_SCRIPT");
    ::unsetenv("STUB_HISTORIAN_LOG");
  }
  std::unique_ptr<LibraryLoader> loader_ = CreateLibraryLoader();
};

TEST_F(HistorianBindingTest, StandInLibrariesAreFoundBesideTheExecutable) {
  basPI_API api(*loader_, StubLibraryNames());
  EXPECT_EQ(api.pilg_registerapp("piapi32.dll"), 0);
  EXPECT_GE(api.pitm_systime(), 1000);
  int32_t point = 0;
  char name[] = "SINUSOID";
  api.pipt_findpoint(name, &point);
  EXPECT_EQ(point, 1);
}

TEST_F(HistorianBindingTest, LibraryNotFoundRaises53AtEveryCall) {
  basPI_API api(*loader_, {"libno_such_piapi32.so", "libno_such_pilog32.so"});
  for (int call = 0; call < 2; ++call) {
    const Error error = ErrorOf([&] { api.pitm_systime(); });
    EXPECT_EQ(error.number(), 53);
    EXPECT_EQ(error.description(), "File not found: libno_such_piapi32.so");
  }
  const Error login = ErrorOf([&] { api.pilg_registerapp("piapi32.dll"); });
  EXPECT_EQ(login.number(), 53);
  EXPECT_EQ(login.description(), "File not found: libno_such_pilog32.so");
}

TEST_F(HistorianBindingTest, MissingFileByFullPathRaises53) {
  TempDir folder;
  const std::string path = folder.File("libpiapi32.so");
  basPI_API api(*loader_, {path, path});
  const Error error = ErrorOf([&] { api.pitm_systime(); });
  EXPECT_EQ(error.number(), 53);
  EXPECT_EQ(error.description(), "File not found: " + path);
}

TEST_F(HistorianBindingTest, FileThatIsNoLibraryRaises48AtEveryCall) {
  TempDir folder;
  folder.Write("libbad.so", "this is not a shared library\n");
  const std::string path = folder.File("libbad.so");
  basPI_API api(*loader_, {path, path});
  for (int call = 0; call < 2; ++call) {
    const Error error = ErrorOf([&] { api.pitm_systime(); });
    EXPECT_EQ(error.number(), 48);
    EXPECT_EQ(error.description().rfind("Error in loading DLL", 0), 0u)
        << error.description();
    EXPECT_NE(error.description().find(path), std::string::npos)
        << error.description();
  }
}

// A library that loads can still fail a later call for a function it lacks,
// while the functions it has keep working.
TEST_F(HistorianBindingTest, MissingFunctionRaises453) {
  basPI_API api(*loader_, {"libstub_piapi32_partial.so", "libstub_pilog32.so"});
  const int32_t first = api.pitm_systime();
  char state[40];
  for (int call = 0; call < 2; ++call) {
    const Error error = ErrorOf([&] { api.pipt_digstate(0, state, 40); });
    EXPECT_EQ(error.number(), 453);
    EXPECT_EQ(error.description(),
              "Can't find DLL entry point pipt_digstate in "
              "libstub_piapi32_partial.so");
  }
  EXPECT_EQ(api.pitm_systime(), first + 1);
}

// A library that appears after a failed load is picked up at the next call.
TEST_F(HistorianBindingTest, FailedLoadIsTriedAgainAtTheNextCall) {
  TempDir folder;
  const std::string path = folder.File("libpilog32.so");
  basPI_API api(*loader_, {path, path});
  EXPECT_EQ(ErrorOf([&] { api.pilg_registerapp("piapi32.dll"); }).number(), 53);
  const auto stub =
      std::filesystem::path(posix::ExecutablePath()).parent_path() /
      "libstub_pilog32.so";
  std::filesystem::copy_file(stub, path);
  EXPECT_EQ(api.pilg_registerapp("piapi32.dll"), 0);
}

}  // namespace
}  // namespace tavrolin::testing
