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
  static constexpr std::size_t kCapacity = std::size_t{64} * 1024;

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

// The process number of a temporary file of the report `name`
// ("NAME.PID.COUNTER.tmp"), or 0 for any other file name.
DWORD WriterOfTemporary(const std::wstring& file, const std::wstring& name) {
  const std::wstring prefix = name + L".";
  const std::wstring suffix = L".tmp";
  if (file.size() <= prefix.size() + suffix.size() ||
      file.compare(0, prefix.size(), prefix) != 0 ||
      file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return 0;
  }
  const std::wstring middle =
      file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
  const std::size_t dot = middle.find(L'.');
  if (dot == 0 || dot == std::wstring::npos || dot + 1 == middle.size() ||
      dot > 10) {
    return 0;
  }
  unsigned long long pid = 0;
  for (std::size_t i = 0; i < middle.size(); ++i) {
    if (i == dot) continue;
    if (middle[i] < L'0' || middle[i] > L'9') return 0;
    if (i < dot) pid = pid * 10 + static_cast<unsigned>(middle[i] - L'0');
  }
  return pid <= 0xFFFFFFFFull ? static_cast<DWORD>(pid) : 0;
}

bool IsRunning(DWORD pid) {
  if (pid == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  (void)CloseHandle(process);  // a handle only looked at
  return running;
}

}  // namespace

void AtomicReportFileWriter::RemoveLeftovers(const std::string& path) {
  const std::wstring target = Utf8ToWide(path);
  const std::size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder = separator == std::wstring::npos
                                  ? std::wstring()
                                  : target.substr(0, separator + 1);
  const std::wstring name =
      separator == std::wstring::npos ? target : target.substr(separator + 1);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((target + L".*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
        code == ERROR_NO_MORE_FILES) {
      return;
    }
    throw Error(errnum::kPathAccess,
                "Cannot look for leftover temporary files of " + path + ": " +
                    SystemErrorText(code, path));
  }
  std::string failure;
  do {
    const DWORD writer = WriterOfTemporary(found.cFileName, name);
    if (writer == 0 || IsRunning(writer)) continue;
    const std::wstring leftover = folder + found.cFileName;
    if (!DeleteFileW(leftover.c_str()) && failure.empty()) {
      const std::string leftover_text = WideToUtf8(leftover);
      failure = "Cannot remove the leftover temporary file " + leftover_text +
                ": " + SystemErrorText(GetLastError(), leftover_text);
    }
  } while (FindNextFileW(search, &found));
  (void)FindClose(search);  // a search handle only read
  if (!failure.empty()) throw Error(errnum::kPathAccess, failure);
}

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
      // Already failing with the producer's error, which is the one to tell.
      (void)file.Close();
      (void)DeleteFileW(temporary.c_str());
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
    // Already failing; a temporary file that stays is removed at the next
    // start (RemoveLeftovers).
    (void)DeleteFileW(temporary.c_str());
    Fail(path, failure);
  }
}

}  // namespace tavrolin::windows

namespace tavrolin {

std::unique_ptr<ReportFileWriter> CreateReportFileWriter() {
  return std::make_unique<windows::AtomicReportFileWriter>();
}

}  // namespace tavrolin
