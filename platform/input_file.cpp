#include "platform/input_file.h"

#include <filesystem>
#include <system_error>

#include "platform/error.h"

namespace tavrolin {

std::string AbsolutePath(const std::string& path) {
  std::error_code failed;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::path(path), failed);
  return failed ? path : absolute.string();
}

void ThrowNotAFile(const std::string& path, FileKind kind) {
  const std::filesystem::path given(path);
  const std::filesystem::path absolute(AbsolutePath(path));
  const char* what = "Not a regular file";
  switch (kind) {
    case FileKind::kMissing:
      throw Error(errnum::kObjectNotSet,
                  absolute.filename().string() + " not found in " +
                      absolute.parent_path().string() +
                      (given.has_parent_path() ? "" : " (the working folder)"));
    case FileKind::kFolder:
      what = "A folder, not a file";
      break;
    case FileKind::kFifo:
      what = "A FIFO, not a file";
      break;
    case FileKind::kDevice:
      what = "A device, not a file";
      break;
    case FileKind::kSocket:
      what = "A socket, not a file";
      break;
    case FileKind::kOther:
      break;
  }
  throw Error(errnum::kObjectNotSet,
              std::string(what) + ": " + absolute.string());
}

}  // namespace tavrolin
