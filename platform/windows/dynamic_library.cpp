#include "platform/windows/dynamic_library.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/windows/folder_trust.h"
#include "platform/windows/process.h"
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

  std::string FilePath() override {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = GetModuleFileNameW(module_, path.data(),
                                              static_cast<DWORD>(path.size()));
      if (length == 0) return std::string();
      if (length < path.size()) {
        path.resize(length);
        return WideToUtf8(path);
      }
      path.resize(path.size() * 2);
    }
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

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
    return folder + name;
  }
  return folder + L"\\" + name;
}

bool HasFolder(const std::wstring& name) {
  return name.find_first_of(L"\\/:") != std::wstring::npos;
}

}  // namespace

std::vector<std::wstring> PathFolders(const std::wstring& path_text) {
  std::vector<std::wstring> folders;
  std::wstring folder;
  bool quoted = false;
  for (const wchar_t c : path_text + L";") {
    if (c == L'"') {
      quoted = !quoted;
    } else if (c == L';' && !quoted) {
      if (!folder.empty()) folders.push_back(folder);
      folder.clear();
    } else {
      folder += c;
    }
  }
  return folders;
}

LibraryFolders DefaultLibraryFolders() {
  LibraryFolders folders;
  const std::wstring executable = ExecutablePath();
  const std::size_t last = executable.find_last_of(L"\\/");
  folders.program =
      last == std::wstring::npos ? std::wstring() : executable.substr(0, last);
  const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (size > 0) {
    std::wstring path_text(size, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"PATH", path_text.data(), size);
    path_text.resize(length < size ? length : 0);
    folders.path = PathFolders(path_text);
  }
  return folders;
}

void RestrictDllSearch() {
  // Not there before Windows 8 without an update; the historian's libraries
  // are loaded by full path all the same.
  (void)SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                 LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring Win32LibraryLoader::Locate(const std::wstring& name) const {
  const std::string text = WideToUtf8(name);
  if (folders_.historian) {
    std::wstring path = Joined(*folders_.historian, name);
    if (IsFile(path)) return path;
    throw Error(errnum::kFileNotFound, "File not found: " + text +
                                           " (looked for in the historian "
                                           "folder " +
                                           WideToUtf8(*folders_.historian) +
                                           ")");
  }
  if (!folders_.program.empty()) {
    std::wstring path = Joined(folders_.program, name);
    if (IsFile(path)) return path;
  }
  for (const std::wstring& folder : folders_.path) {
    std::wstring path = Joined(folder, name);
    if (!IsFile(path)) continue;
    // The first copy on the PATH is the one the site means; when others
    // could have put it there or can change it, none is loaded.
    for (const std::wstring& guarded : {folder, path}) {
      if (const auto writer = UntrustedWriter(guarded)) {
        throw Error(errnum::kPermissionDenied,
                    "Permission denied: " + text + " is not loaded from " +
                        WideToUtf8(folder) + ", a folder on the PATH: " +
                        *writer + " can change " + WideToUtf8(guarded) +
                        ". Name the historian folder in the service's "
                        "settings, or let only administrators change it");
      }
    }
    return path;
  }
  throw Error(errnum::kFileNotFound, "File not found: " + text);
}

std::unique_ptr<DynamicLibrary> Win32LibraryLoader::Load(
    const std::string& name) {
  const std::wstring wide_name = Utf8ToWide(name);
  const std::wstring path =
      HasFolder(wide_name) ? wide_name : Locate(wide_name);
  QuietLoaderErrors quiet;
  // The library's own dependencies come from its folder first, then from
  // the program's and the system's folders.
  HMODULE module = LoadLibraryExW(
      path.c_str(), nullptr,
      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (module != nullptr) return std::make_unique<Win32Library>(module);
  const DWORD code = GetLastError();
  if (!IsFile(path)) {
    throw Error(errnum::kFileNotFound, "File not found: " + name);
  }
  const std::string path_text = WideToUtf8(path);
  throw Error(errnum::kDllLoad,
              "Error in loading DLL: " + SystemErrorText(code, path_text) +
                  " (" + path_text + ")");
}

}  // namespace tavrolin::windows

namespace tavrolin {

std::unique_ptr<LibraryLoader> CreateLibraryLoader() {
  return std::make_unique<windows::Win32LibraryLoader>();
}

}  // namespace tavrolin
