// DLLs loaded at run time by the system's usual search (LoadLibrary).
#pragma once

#include "platform/dynamic_library.h"

namespace tavrolin::windows {

class Win32LibraryLoader : public LibraryLoader {
 public:
  std::unique_ptr<DynamicLibrary> Load(const std::string& name) override;
};

}  // namespace tavrolin::windows
