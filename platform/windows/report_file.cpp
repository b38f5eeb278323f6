#include "platform/windows/report_file.h"

#include <windows.h>

#include <atomic>

#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!valid()) return true;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

[[noreturn]] void Fail(const std::string& path, DWORD code) {
  throw Error(errnum::kPathAccess,
              "Cannot write " + path + ": " + SystemErrorText(code, path));
}

// A name beside the report that no other writer uses at the same time.
std::wstring TemporaryName(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(counter++) + L".tmp";
}

// Collects the bytes in a buffer of fixed size and writes it to the file
// whenever it is full. The first failure is kept; later bytes are dropped.
class BufferedFileSink : public ReportSink {
 public:
  explicit BufferedFileSink(HANDLE file) : file_(file) {
    buffer_.reserve(kCapacity);
  }

  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kCapacity) {
      Flush();
      if (bytes.size() >= kCapacity) {
        WriteThrough(bytes);
        return;
      }
    }
    buffer_.append(bytes);
  }

  void Flush() {
    WriteThrough(buffer_);
    buffer_.clear();
  }

  DWORD failure() const { return failure_; }

 private:
  static constexpr std::size_t kCapacity = 64 * 1024;

  void WriteThrough(std::string_view rest) {
    while (failure_ == ERROR_SUCCESS && !rest.empty()) {
      const DWORD chunk = static_cast<DWORD>(
          rest.size() < 0x40000000u ? rest.size() : 0x40000000u);
      DWORD written = 0;
      if (!WriteFile(file_, rest.data(), chunk, &written, nullptr)) {
        failure_ = GetLastError();
      } else if (written == 0) {
        failure_ = ERROR_WRITE_FAULT;
      }
      rest.remove_prefix(written);
    }
  }

  HANDLE file_;
  std::string buffer_;
  DWORD failure_ = ERROR_SUCCESS;
};

}  // namespace

void AtomicReportFileWriter::ReplaceWith(const std::string& path,
                                         const ReportProducer& produce) {
  const std::wstring target = Utf8ToWide(path);
  const std::wstring temporary = TemporaryName(target);
  FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) Fail(path, GetLastError());

  DWORD failure = ERROR_SUCCESS;
  {
    BufferedFileSink sink(file.get());
    try {
      produce(sink);
    } catch (...) {
      file.Close();
      DeleteFileW(temporary.c_str());
      throw;
    }
    sink.Flush();
    failure = sink.failure();
  }
  if (failure == ERROR_SUCCESS && !FlushFileBuffers(file.get())) {
    failure = GetLastError();
  }
  if (!file.Close() && failure == ERROR_SUCCESS) failure = GetLastError();
  if (failure == ERROR_SUCCESS &&
      !MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = GetLastError();
  }
  if (failure != ERROR_SUCCESS) {
    DeleteFileW(temporary.c_str());
    Fail(path, failure);
  }
}

}  // namespace tavrolin::windows

namespace tavrolin {

std::unique_ptr<ReportFileWriter> CreateReportFileWriter() {
  return std::make_unique<windows::AtomicReportFileWriter>();
}

}  // namespace tavrolin
