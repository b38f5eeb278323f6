#include "reports/time_words.h"

#include "historian/time_text.h"

namespace tavrolin {

// The words are compared exactly: case, blanks and all.
std::string ResolveTimeWord(const std::string& word, const LocalDateTime& now,
                            const DateSettings& date_settings) {
  if (word == "now") return FormatGeneralDate(now, date_settings);
  if (word == "today") return FormatFixedDate(now, date_settings);
  if (word == "yesterday") {
    return FormatFixedDate(DayBefore(now), date_settings);
  }
  return std::string();
}

const std::string& TimeWords::Resolve(const std::string& word) {
  Resolved* resolved = word == "now"         ? &now_
                       : word == "today"     ? &today_
                       : word == "yesterday" ? &yesterday_
                                             : nullptr;
  if (resolved == nullptr) return empty_;
  LocalDateTime key = clock_.Now();
  // The texts of "today" and "yesterday" depend on the day only.
  if (resolved != &now_) key.hour = key.minute = key.second = 0;
  if (!resolved->made || !(resolved->key == key)) {
    resolved->text = ResolveTimeWord(word, key, date_settings_);
    resolved->key = key;
    resolved->made = true;
  }
  return resolved->text;
}

}  // namespace tavrolin
