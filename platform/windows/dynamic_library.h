// DLLs loaded at run time from trusted folders only, each by its full path
// with its own dependencies resolved from its folder. A bare file name is
// looked for in the folder an administrator named for the historian's
// libraries, or else in the program's folder and then in the folders on the
// PATH that nobody but the administrators (and this process's own account)
// can change; never in the current folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace tavrolin::windows {

struct LibraryFolders {
  // Named by an administrator: the only folder looked in when given.
  std::optional<std::wstring> historian;
  std::wstring program;
  std::vector<std::wstring> path;  // in the order of the PATH
};

// The program's folder and the PATH's folders of this process.
LibraryFolders DefaultLibraryFolders();

// The folders of a PATH text ("C:\a;\"C:\b;c\";;C:\d"), in order, without
// empty entries and quotes.
std::vector<std::wstring> PathFolders(const std::wstring& path_text);

// Restricts the loader's own search, for every DLL the process loads later
// by name, to the program's folder and the system folder: no current folder,
// no PATH.
void RestrictDllSearch();

class Win32LibraryLoader : public LibraryLoader {
 public:
  explicit Win32LibraryLoader(LibraryFolders folders = DefaultLibraryFolders())
      : folders_(std::move(folders)) {}
  // A name with a folder is loaded from there; a bare name from the first
  // trusted folder that holds it. Throws Error 53 when no folder holds it,
  // 70 when the first PATH folder that does can be changed by others, and
  // 48 when the file does not load.
  std::unique_ptr<DynamicLibrary> Load(const std::string& name) override;

  // The full path a bare name is loaded from; throws as Load does.
  std::wstring Locate(const std::wstring& name) const;

 private:
  LibraryFolders folders_;
};

}  // namespace tavrolin::windows
