// Loading the historian libraries: only from trusted folders, never from
// the current folder; the system's load errors become the program's error
// numbers.
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "historian/basPI_API.h"
#include "platform/error.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/process.h"
#include "platform/windows/wide_text.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::windows {
namespace {

namespace fs = std::filesystem;

fs::path BinFolder() { return fs::path(ExecutablePath()).parent_path(); }

// The stand-in client library as piapi32.dll in `folder`.
void PutClientLibrary(const testing::TempDir& folder) {
  fs::copy_file(BinFolder() / "stub_piapi32.dll",
                folder.path() / "piapi32.dll");
}

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return std::towlower(c); });
  return text;
}

std::wstring LoadedFrom(LibraryLoader& loader, const std::string& name) {
  return Lower(Utf8ToWide(loader.Load(name)->FilePath()));
}

std::wstring Expected(const testing::TempDir& folder) {
  return Lower((folder.path() / "piapi32.dll").wstring());
}

// Lets everybody write `folder`, as a careless installer might.
void LetEveryoneWrite(const fs::path& folder) {
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &old_dacl, nullptr, &descriptor),
            ERROR_SUCCESS);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = FILE_GENERIC_WRITE | FILE_GENERIC_READ;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  BuildTrusteeWithSidW(&access.Trustee, everyone);
  PACL new_dacl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &access, old_dacl, &new_dacl), ERROR_SUCCESS);
  const DWORD set = SetNamedSecurityInfoW(
      const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
      DACL_SECURITY_INFORMATION, nullptr, nullptr, new_dacl, nullptr);
  LocalFree(new_dacl);
  LocalFree(descriptor);
  ASSERT_EQ(set, ERROR_SUCCESS);
}

// Runs with another current folder, and goes back to the old one after.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  fs::path previous_;
};

TEST(LibraryLoader, ANamedHistorianFolderIsTheOnlyOneLookedIn) {
  testing::TempDir historian;
  testing::TempDir program;
  PutClientLibrary(historian);
  PutClientLibrary(program);
  Win32LibraryLoader loader(
      {historian.path().wstring(), program.path().wstring(), {}});
  EXPECT_EQ(LoadedFrom(loader, "piapi32.dll"), Expected(historian));

  testing::TempDir empty;
  Win32LibraryLoader elsewhere(
      {empty.path().wstring(), program.path().wstring(), {}});
  try {
    elsewhere.Load("piapi32.dll");
    FAIL() << "loaded from outside the historian folder";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kFileNotFound);
    EXPECT_NE(error.description().find(empty.path().string()),
              std::string::npos)
        << error.description();
  }
}

TEST(LibraryLoader, TheProgramFolderComesBeforeThePath) {
  testing::TempDir program;
  testing::TempDir on_path;
  testing::TempDir empty;
  PutClientLibrary(program);
  PutClientLibrary(on_path);
  Win32LibraryLoader loader(
      {std::nullopt,
       program.path().wstring(),
       {empty.path().wstring(), on_path.path().wstring()}});
  EXPECT_EQ(LoadedFrom(loader, "piapi32.dll"), Expected(program));
  Win32LibraryLoader path_only(
      {std::nullopt,
       empty.path().wstring(),
       {empty.path().wstring(), on_path.path().wstring()}});
  EXPECT_EQ(LoadedFrom(path_only, "piapi32.dll"), Expected(on_path));
}

// A library planted in the folder the program is started in is never
// loaded by the historian loader.
TEST(LibraryLoader, TheCurrentFolderIsNeverLookedIn) {
  testing::TempDir current;
  testing::TempDir program;
  PutClientLibrary(current);
  const InFolder in_current(current.path());
  Win32LibraryLoader loader({std::nullopt, program.path().wstring(), {}});
  try {
    loader.Load("piapi32.dll");
    FAIL() << "piapi32.dll loaded from the current folder";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kFileNotFound);
  }
}

TEST(LibraryLoader, APathFolderOthersCanWriteIsRefusedByName) {
  testing::TempDir on_path;
  testing::TempDir program;
  PutClientLibrary(on_path);
  LetEveryoneWrite(on_path.path());
  Win32LibraryLoader loader(
      {std::nullopt, program.path().wstring(), {on_path.path().wstring()}});
  try {
    loader.Load("piapi32.dll");
    FAIL() << "piapi32.dll loaded from a folder everybody can write";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPermissionDenied);
    EXPECT_NE(error.description().find(on_path.path().string()),
              std::string::npos)
        << error.description();
    EXPECT_NE(error.description().find("Everyone"), std::string::npos)
        << error.description();
  }
}

TEST(LibraryLoader, PathTextsSplitAtSemicolonsOutsideQuotes) {
  EXPECT_EQ(PathFolders(L"C:\\a;\"C:\\b;c\";;C:\\d;"),
            (std::vector<std::wstring>{L"C:\\a", L"C:\\b;c", L"C:\\d"}));
}

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
