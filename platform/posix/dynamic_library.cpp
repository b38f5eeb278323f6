#include "platform/posix/dynamic_library.h"

#include <dlfcn.h>

#include <string>

#include "platform/error.h"

namespace tavrolin::posix {
namespace {

class DlLibrary : public DynamicLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;

  void* Symbol(const std::string& name) override {
    return dlsym(handle_, name.c_str());
  }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<DynamicLibrary> DlLibraryLoader::Load(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return std::make_unique<DlLibrary>(handle);
  const char* reason = dlerror();
  const std::string message = reason != nullptr ? reason : "";
  // The loader names the file it could not open first. When that is the
  // library itself, it is not there; when it is one of its dependencies, or
  // any other reason, the library was found but did not load.
  const std::string not_found =
      name + ": cannot open shared object file: No such file or directory";
  if (message == not_found) {
    throw Error(errnum::kFileNotFound, "File not found: " + name);
  }
  throw Error(errnum::kDllLoad, "Error in loading DLL: " + message);
}

}  // namespace tavrolin::posix

namespace tavrolin {

std::unique_ptr<LibraryLoader> CreateLibraryLoader() {
  return std::make_unique<posix::DlLibraryLoader>();
}

}  // namespace tavrolin
