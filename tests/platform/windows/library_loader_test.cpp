// Loading the historian libraries: the system's load errors become the
// program's error numbers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "historian/basPI_API.h"
#include "platform/error.h"
#include "platform/windows/dynamic_library.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::windows {
namespace {

Error LoadError(const std::string& name) {
  Win32LibraryLoader loader;
  try {
    loader.Load(name);
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << name << " loaded";
  return Error(0, "");
}

TEST(LibraryLoader, MissingLibraryIsFileNotFound) {
  const Error error = LoadError("no_such_historian_library.dll");
  EXPECT_EQ(error.number(), errnum::kFileNotFound);
  EXPECT_EQ(error.description(),
            "File not found: no_such_historian_library.dll");
}

TEST(LibraryLoader, FileThatIsNoLibraryIsALoadError) {
  testing::TempDir folder;
  folder.Write("piapi32.dll", "this is not a library\r\n");
  const Error error = LoadError(folder.File("piapi32.dll"));
  EXPECT_EQ(error.number(), errnum::kDllLoad);
  EXPECT_EQ(error.description().rfind("Error in loading DLL: ", 0), 0u)
      << error.description();
  EXPECT_GT(error.description().size(),
            std::string("Error in loading DLL: ").size());
  EXPECT_EQ(error.description().find("%1"), std::string::npos);
}

TEST(LibraryLoader, FindsExportsByPlainName) {
  Win32LibraryLoader loader;
  auto library = loader.Load(testing::StubLibraryNames().client);
  EXPECT_NE(library->Symbol("pisn_getsnapshot"), nullptr);
  EXPECT_NE(library->Symbol("pipt_findpoint"), nullptr);
  EXPECT_EQ(library->Symbol("pisn_no_such_function"), nullptr);
}

TEST(LibraryLoader, MissingExportIsEntryPointNotFoundThroughTheBinding) {
  Win32LibraryLoader loader;
  basPI_API api(loader, {"stub_piapi32_partial.dll", "stub_pilog32.dll"});
  char state[40] = {};
  try {
    api.pipt_digstate(0, state, 40);
    FAIL() << "pipt_digstate was found";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kEntryPoint);
    EXPECT_NE(error.description().find("pipt_digstate"), std::string::npos);
    EXPECT_NE(error.description().find("stub_piapi32_partial.dll"),
              std::string::npos);
  }
}

TEST(LibraryLoader, MissingLibraryThroughTheBindingIsFileNotFound) {
  Win32LibraryLoader loader;
  basPI_API api(loader, {"piapi32_absent.dll", "pilog32_absent.dll"});
  try {
    api.pilg_registerapp("piapi32.dll");
    FAIL() << "the login library loaded";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kFileNotFound);
    EXPECT_EQ(error.description(), "File not found: pilog32_absent.dll");
  }
}

}  // namespace
}  // namespace tavrolin::windows
