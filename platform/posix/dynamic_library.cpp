#include "platform/posix/dynamic_library.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/error.h"
#include "platform/posix/process.h"

namespace tavrolin::posix {
namespace {

class DlLibrary : public DynamicLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  // A library that does not unload stays mapped; nothing depends on it.
  ~DlLibrary() override { (void)dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;

  void* Symbol(const std::string& name) override {
    return dlsym(handle_, name.c_str());
  }

  std::string FilePath() override {
    link_map* map = nullptr;
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        map->l_name == nullptr) {
      return std::string();
    }
    std::error_code error;
    const std::filesystem::path path =
        std::filesystem::absolute(map->l_name, error);
    return error ? std::string(map->l_name) : path.lexically_normal().string();
  }

 private:
  void* handle_;
};

void* Open(const std::string& path, std::string& reason) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* message = dlerror();
    reason = message != nullptr ? message : "";
  }
  return handle;
}

// The loader names the file it could not open first. When that is the
// library itself, it is not there; when it is one of its dependencies, or
// any other reason, the library was found but did not load.
bool IsNotFound(const std::string& path, const std::string& reason) {
  return reason ==
         path + ": cannot open shared object file: No such file or directory";
}

}  // namespace

std::unique_ptr<DynamicLibrary> DlLibraryLoader::Load(const std::string& name) {
  std::string reason;
  if (void* handle = Open(name, reason)) {
    return std::make_unique<DlLibrary>(handle);
  }
  // The executable's RUNPATH ($ORIGIN) is searched only for calls made from
  // the executable itself; where dlopen is wrapped by another library (the
  // sanitizers do so) the folder beside the executable is searched here.
  if (name.find('/') == std::string::npos && IsNotFound(name, reason)) {
    std::string beside;
    try {
      beside = DirectoryOf(ExecutablePath()) + "/" + name;
    } catch (const Error&) {
      // No folder to look in: the library was not found.
    }
    if (!beside.empty()) {
      std::string beside_reason;
      if (void* handle = Open(beside, beside_reason)) {
        return std::make_unique<DlLibrary>(handle);
      }
      if (!IsNotFound(beside, beside_reason)) reason = beside_reason;
    }
  }
  if (IsNotFound(name, reason)) {
    throw Error(errnum::kFileNotFound, "File not found: " + name);
  }
  throw Error(errnum::kDllLoad, "Error in loading DLL: " + reason);
}

}  // namespace tavrolin::posix

namespace tavrolin {

std::unique_ptr<LibraryLoader> CreateLibraryLoader() {
  return std::make_unique<posix::DlLibraryLoader>();
}

}  // namespace tavrolin
