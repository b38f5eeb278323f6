// The service's optional settings in the registry: absent values keep the
// defaults, texts are expanded, and a value of the wrong type is refused by
// name.
#include "platform/windows/service_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"

namespace tavrolin::windows {
namespace {

// A key of its own under the user's hive, removed at the end.
class TestKey {
 public:
  TestKey()
      : name_(L"Software\\TavrolinTest\\Parameters" +
              std::to_wstring(GetCurrentProcessId())) {
    (void)RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
  }
  ~TestKey() { (void)RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str()); }
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  const wchar_t* name() const { return name_.c_str(); }
  void Set(const wchar_t* value, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, name_.c_str(), value, type,
                              data, size),
              ERROR_SUCCESS);
  }
  void SetText(const wchar_t* value, const std::wstring& text,
               DWORD type = REG_SZ) {
    Set(value, type, text.c_str(),
        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void SetNumber(const wchar_t* value, DWORD number) {
    Set(value, REG_DWORD, &number, sizeof number);
  }
  ServiceSettings Read() const {
    return ReadServiceSettings(HKEY_CURRENT_USER, name_.c_str());
  }

 private:
  std::wstring name_;
};

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024];
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return std::wstring(value, length);
}

TEST(ServiceSettings, NoKeyAndEmptyValuesAreTheDefaults) {
  TestKey key;
  ServiceSettings settings = key.Read();
  EXPECT_FALSE(settings.working_folder);
  EXPECT_FALSE(settings.historian_folder);
  EXPECT_EQ(settings.watchdog_bound, kDefaultWatchdogBound);

  key.SetText(L"WorkingFolder", L"");
  key.SetText(L"HistorianFolder", L"");
  settings = key.Read();
  EXPECT_FALSE(settings.working_folder);
  EXPECT_FALSE(settings.historian_folder);
}

TEST(ServiceSettings, FoldersAreExpandedAndTheBoundIsInSeconds) {
  TestKey key;
  key.SetText(L"WorkingFolder", L"%SystemRoot%\\Tavrolin", REG_EXPAND_SZ);
  key.SetText(L"HistorianFolder", L"%SystemRoot%\\Historian");
  key.SetNumber(L"WatchdogSeconds", 7);
  const ServiceSettings settings = key.Read();
  EXPECT_EQ(settings.working_folder,
            Environment(L"SystemRoot") + L"\\Tavrolin");
  EXPECT_EQ(settings.historian_folder,
            Environment(L"SystemRoot") + L"\\Historian");
  EXPECT_EQ(settings.watchdog_bound, std::chrono::seconds(7));
}

TEST(ServiceSettings, AValueOfTheWrongTypeIsRefusedByName) {
  struct Case {
    const wchar_t* value;
    bool as_text;
  };
  for (const Case& wrong :
       {Case{L"WatchdogSeconds", true}, Case{L"WorkingFolder", false},
        Case{L"HistorianFolder", false}}) {
    TestKey key;
    if (wrong.as_text) {
      key.SetText(wrong.value, L"300");
    } else {
      key.SetNumber(wrong.value, 1);
    }
    try {
      key.Read();
      ADD_FAILURE() << "accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kTypeMismatch);
      std::string name;
      for (const wchar_t* c = wrong.value; *c != 0; ++c) {
        name += static_cast<char>(*c);
      }
      EXPECT_NE(error.description().find("\\" + name), std::string::npos)
          << error.description();
    }
  }
}

TEST(ServiceSettings, AWorkingFolderThatIsNotThereIsNamed) {
  try {
    EnterWorkingFolder(L"C:\\no such folder\\Tavrolin");
    FAIL() << "entered";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathAccess);
    EXPECT_NE(error.description().find("C:\\no such folder\\Tavrolin"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace tavrolin::windows
