#include "simulator/library_folder.h"

#include <dlfcn.h>

namespace tavrolin::simulator {

std::filesystem::path LibraryFolder() {
  // Any address inside this library names the library.
  static const char anchor = 0;
  Dl_info info{};
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
  return std::filesystem::absolute(std::filesystem::path(info.dli_fname))
      .parent_path();
}

}  // namespace tavrolin::simulator
