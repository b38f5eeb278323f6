// Shared libraries through the dynamic loader (dlopen).
#pragma once

#include "platform/dynamic_library.h"

namespace tavrolin::posix {

class DlLibraryLoader : public LibraryLoader {
 public:
  std::unique_ptr<DynamicLibrary> Load(const std::string& name) override;
};

}  // namespace tavrolin::posix
