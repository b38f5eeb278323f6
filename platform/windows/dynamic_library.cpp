#include "platform/windows/dynamic_library.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

class Win32Library : public DynamicLibrary {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  Win32Library(const Win32Library&) = delete;
  Win32Library& operator=(const Win32Library&) = delete;

  void* Symbol(const std::string& name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name.c_str()));
  }

 private:
  HMODULE module_;
};

// Keeps the loader from showing a dialog about a missing or broken DLL
// while the guard lives: a service has nobody to close it.
class QuietLoaderErrors {
 public:
  QuietLoaderErrors() {
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX,
                       &previous_);
  }
  ~QuietLoaderErrors() { SetThreadErrorMode(previous_, nullptr); }
  QuietLoaderErrors(const QuietLoaderErrors&) = delete;
  QuietLoaderErrors& operator=(const QuietLoaderErrors&) = delete;

 private:
  DWORD previous_ = 0;
};

// True when the search finds the file itself. LoadLibrary answers "not
// found" also when the library is there but one of the DLLs it needs is not;
// loading it as a data file resolves nothing but the file itself.
bool FileIsFound(const std::wstring& name) {
  HMODULE data =
      LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (data == nullptr) return false;
  (void)FreeLibrary(data);  // a data file only looked at
  return true;
}

}  // namespace

std::unique_ptr<DynamicLibrary> Win32LibraryLoader::Load(
    const std::string& name) {
  const std::wstring wide_name = Utf8ToWide(name);
  QuietLoaderErrors quiet;
  HMODULE module = LoadLibraryW(wide_name.c_str());
  if (module != nullptr) return std::make_unique<Win32Library>(module);
  const DWORD code = GetLastError();
  const bool not_found = code == ERROR_MOD_NOT_FOUND ||
                         code == ERROR_FILE_NOT_FOUND ||
                         code == ERROR_PATH_NOT_FOUND;
  if (not_found && !FileIsFound(wide_name)) {
    throw Error(errnum::kFileNotFound, "File not found: " + name);
  }
  throw Error(errnum::kDllLoad,
              "Error in loading DLL: " + SystemErrorText(code, name));
}

}  // namespace tavrolin::windows

namespace tavrolin {

std::unique_ptr<LibraryLoader> CreateLibraryLoader() {
  return std::make_unique<windows::Win32LibraryLoader>();
}

}  // namespace tavrolin
