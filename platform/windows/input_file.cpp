// Tag lists on Windows: opened with CreateFileW, which does not wait for
// what stands at the name, and read only when it is a file on a disk (not a
// pipe, a console or another device, nor a folder).
#include "platform/input_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { (void)CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

class WindowsInputFile : public InputFile {
 public:
  WindowsInputFile(Handle handle, std::string path, std::size_t size)
      : handle_(std::move(handle)), path_(std::move(path)), size_(size) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      const DWORD piece = static_cast<DWORD>(
          std::min<std::size_t>(size - done, std::size_t{1} << 30));
      DWORD count = 0;
      if (!ReadFile(handle_.get(), buffer + done, piece, &count, nullptr)) {
        Fail();
      }
      if (count == 0) break;
      done += count;
    }
    return done;
  }
  void Rewind() override {
    if (SetFilePointer(handle_.get(), 0, nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
      Fail();
    }
  }
  std::size_t SizeHint() const override { return size_; }
  const std::string& path() const override { return path_; }

 private:
  [[noreturn]] void Fail() const {
    throw Error(errnum::kObjectNotSet,
                "Cannot read " + path_ + ": " +
                    windows::SystemErrorText(GetLastError(), path_));
  }

  Handle handle_;
  std::string path_;
  std::size_t size_;
};

}  // namespace

std::unique_ptr<InputFile> OpenInputFile(const std::string& path) {
  std::string absolute = AbsolutePath(path);
  // FILE_FLAG_BACKUP_SEMANTICS opens a folder too, so that it can be told
  // apart from a file that may not be read.
  HANDLE raw = CreateFileW(
      windows::Utf8ToWide(absolute).c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
      nullptr);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      ThrowNotAFile(path, FileKind::kMissing);
    }
    throw Error(errnum::kObjectNotSet,
                "Cannot open " + absolute + " for reading: " +
                    windows::SystemErrorText(code, absolute));
  }
  Handle handle(raw);
  switch (GetFileType(raw)) {
    case FILE_TYPE_DISK:
      break;
    case FILE_TYPE_PIPE:
      ThrowNotAFile(path, FileKind::kFifo);
    case FILE_TYPE_CHAR:
      ThrowNotAFile(path, FileKind::kDevice);
    default:
      ThrowNotAFile(path, FileKind::kOther);
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(raw, &information)) {
    throw Error(errnum::kObjectNotSet,
                "Cannot read " + absolute + ": " +
                    windows::SystemErrorText(GetLastError(), absolute));
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ThrowNotAFile(path, FileKind::kFolder);
  }
  const uint64_t size =
      (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
  return std::make_unique<WindowsInputFile>(
      std::move(handle), std::move(absolute), static_cast<std::size_t>(size));
}

}  // namespace tavrolin
