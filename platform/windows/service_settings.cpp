#include "platform/windows/service_settings.h"

#include <string>

#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

class RegistryKey {
 public:
  RegistryKey(HKEY root, const wchar_t* key) {
    if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RegistryKey() {
    if (key_ != nullptr) (void)RegCloseKey(key_);  // a key only read
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string ValueName(const wchar_t* key, const wchar_t* name) {
  return "the registry value " + WideToUtf8(key) + "\\" + WideToUtf8(name);
}

// Environment variables in `text` replaced by their values.
std::wstring Expanded(const std::wstring& text) {
  std::wstring expanded(text.size() + 64, L'\0');
  for (;;) {
    const DWORD needed = ExpandEnvironmentStringsW(
        text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (needed == 0) return text;
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);
      return expanded;
    }
    expanded.resize(needed);
  }
}

std::optional<std::wstring> ReadText(const RegistryKey& key,
                                     const wchar_t* key_name,
                                     const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status =
      RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) {
    throw Error(errnum::kTypeMismatch,
                ValueName(key_name, name) + " is not a text");
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExW(key.get(), name, nullptr, &type,
                              reinterpret_cast<BYTE*>(text.data()), &size);
  }
  if (status != ERROR_SUCCESS) {
    throw Error(errnum::kPathAccess, "Cannot read " +
                                         ValueName(key_name, name) + ": " +
                                         SystemErrorText(status));
  }
  text.resize(size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  // An empty value (what the installer writes when no folder is given)
  // names no folder.
  if (text.empty()) return std::nullopt;
  return Expanded(text);
}

std::optional<DWORD> ReadNumber(const RegistryKey& key, const wchar_t* key_name,
                                const wchar_t* name) {
  DWORD type = 0;
  DWORD number = 0;
  DWORD size = sizeof(number);
  const LSTATUS status = RegQueryValueExW(
      key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if ((status == ERROR_SUCCESS || status == ERROR_MORE_DATA) &&
      type != REG_DWORD) {
    throw Error(errnum::kTypeMismatch,
                ValueName(key_name, name) + " is not a number (REG_DWORD)");
  }
  if (status != ERROR_SUCCESS) {
    throw Error(errnum::kPathAccess, "Cannot read " +
                                         ValueName(key_name, name) + ": " +
                                         SystemErrorText(status));
  }
  return number;
}

}  // namespace

ServiceSettings ReadServiceSettings(HKEY root, const wchar_t* key_name) {
  ServiceSettings settings;
  const RegistryKey key(root, key_name);
  if (key.get() == nullptr) return settings;
  settings.working_folder = ReadText(key, key_name, L"WorkingFolder");
  settings.historian_folder = ReadText(key, key_name, L"HistorianFolder");
  if (const auto seconds = ReadNumber(key, key_name, L"WatchdogSeconds")) {
    settings.watchdog_bound = std::chrono::seconds(*seconds);
  }
  return settings;
}

void EnterWorkingFolder(const std::wstring& folder) {
  if (!SetCurrentDirectoryW(folder.c_str())) {
    throw Error(errnum::kPathAccess,
                "Cannot make " + WideToUtf8(folder) +
                    " the working folder (the service's WorkingFolder "
                    "setting): " +
                    SystemErrorText(GetLastError()));
  }
}

}  // namespace tavrolin::windows
