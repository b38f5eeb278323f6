// Loading shared libraries at run time, by the loader's usual search.
#pragma once

#include <memory>
#include <string>

namespace tavrolin {

class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // The address of an exported function, or nullptr when there is none.
  virtual void* Symbol(const std::string& name) = 0;
  // The full path of the file the loader loaded; empty where it cannot tell.
  virtual std::string FilePath() { return std::string(); }
};

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // Loads a library by file name. Throws Error 53 ("File not found: " and
  // the name) when it cannot be found, 48 ("Error in loading DLL" and the
  // loader's reason) when it is found but fails to load.
  virtual std::unique_ptr<DynamicLibrary> Load(const std::string& name) = 0;
};

// The file names of the historian's client library and its login library on
// this system.
struct HistorianLibraryNames {
  std::string client;  // "libpiapi32.so" / "piapi32.dll"
  std::string login;   // "libpilog32.so" / "pilog32.dll"
};

// The loader of the system this build is for.
std::unique_ptr<LibraryLoader> CreateLibraryLoader();

}  // namespace tavrolin
