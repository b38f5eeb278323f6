// The optional settings an administrator gives the service as values of its
// registry key's Parameters subkey
// (HKLM\SYSTEM\CurrentControlSet\Services\CorvaneService\Parameters):
//   WorkingFolder    (text)   the folder the service reads its tag lists
//                             from; without it, the folder the service
//                             manager starts it in (the system folder)
//   HistorianFolder  (text)   the folder of the historian's client
//                             libraries; without it, the program's folder,
//                             then the PATH folders that only administrators
//                             can change
//   WatchdogSeconds  (number) how long a report may go without progress
//                             before the process ends; 0 switches the
//                             watchdog off; without it, 300
// Texts may hold environment variables (%ProgramData%) either as expandable
// text or as plain text; an empty text is no setting.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

namespace tavrolin::windows {

inline constexpr wchar_t kParametersKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\CorvaneService\\Parameters";
inline constexpr std::chrono::seconds kDefaultWatchdogBound{300};

struct ServiceSettings {
  std::optional<std::wstring> working_folder;
  std::optional<std::wstring> historian_folder;
  std::chrono::seconds watchdog_bound = kDefaultWatchdogBound;
};

// Reads the settings under `root`\`key`; a missing key or value is the
// default. Throws Error 13 naming the value when one has a type that cannot
// be used (a number as text, a folder as a number).
ServiceSettings ReadServiceSettings(HKEY root = HKEY_LOCAL_MACHINE,
                                    const wchar_t* key = kParametersKey);

// Makes `folder` the process's current folder. Throws Error 75 naming the
// folder when it cannot.
void EnterWorkingFolder(const std::wstring& folder);

}  // namespace tavrolin::windows
