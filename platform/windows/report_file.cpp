#include "platform/windows/report_file.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>
#include <utility>

#include "common/paths.h"
#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

[[noreturn]] void Fail(const std::string& path, DWORD code) {
  throw ReportFileError(path, SystemErrorText(code, path));
}

// A name beside the report that no other writer of this process uses.
std::wstring TemporaryName(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(counter++) + L".tmp";
}

// The temporary file beside the report, closed, and removed again unless it
// has been moved over the report.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    // Already failing, or done: a file that stays is removed at the next
    // start (RemoveLeftovers).
    (void)Close();
    if (!kept_ && !path_.empty()) (void)DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates a new file beside `target`; a name already taken (an old
  // leftover of a process with the same number) is passed over for the next.
  void Create(const std::wstring& target, const std::string& report) {
    for (unsigned attempt = 0;; ++attempt) {
      path_ = TemporaryName(target);
      handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ != INVALID_HANDLE_VALUE) return;
      const DWORD code = GetLastError();
      if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) ||
          attempt >= 100) {
        path_.clear();
        Fail(report, code);
      }
    }
  }

  HANDLE handle() const { return handle_; }
  const std::wstring& path() const { return path_; }
  // Closes the file now; false, with the error in GetLastError, on failure.
  bool Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0;
  }
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool kept_ = false;
};

// Writes all of `bytes` to `file`; throws at the first failure.
void WriteAll(HANDLE file, std::string_view bytes, const std::string& report) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(
        bytes.size() < 0x40000000u ? bytes.size() : 0x40000000u);
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
      Fail(report, GetLastError());
    }
    if (written == 0) Fail(report, ERROR_WRITE_FAULT);
    bytes.remove_prefix(written);
  }
}

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

// This process counts as ended: no writer of its own runs yet when the
// leftovers are looked for.
bool IsRunning(DWORD pid) {
  if (pid == GetCurrentProcessId()) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  (void)CloseHandle(process);  // a handle only looked at
  return running;
}

}  // namespace

void AtomicReportFileWriter::RemoveLeftovers(const std::string& path) {
  const std::wstring target = Utf8ToWide(path);
  // The folder with its separator, to which the names found are appended.
  const std::size_t name_start = FileNameStart(target, PathStyle::kWindows);
  const std::wstring folder = target.substr(0, name_start);
  const std::wstring name = target.substr(name_start);
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
  // A read-only report is kept as it is rather than replaced, and a folder
  // of that name cannot be replaced.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      throw ReportFileError(path, "it is a folder, not a file");
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      throw ReportFileError(path, "the file is read-only");
    }
  }

  TemporaryFile temporary;
  temporary.Create(target, path);
  const HANDLE file = temporary.handle();
  BufferedReportSink sink(
      [&](std::string_view bytes) { WriteAll(file, bytes, path); });
  produce(sink);
  sink.Flush();
  if (!FlushFileBuffers(file)) Fail(path, GetLastError());
  if (!temporary.Close()) Fail(path, GetLastError());
  if (!MoveFileExW(temporary.path().c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail(path, GetLastError());
  }
  temporary.Keep();
}

}  // namespace tavrolin::windows

namespace tavrolin {

std::unique_ptr<ReportFileWriter> CreateReportFileWriter() {
  return std::make_unique<windows::AtomicReportFileWriter>();
}

}  // namespace tavrolin
