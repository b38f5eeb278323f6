#include "reports/time_words.h"

#include "historian/time_text.h"

namespace tavrolin {

// The words are compared exactly: case, blanks and all. The clock is read
// afresh at every call.
std::string ResolveTimeWord(const std::string& word, Clock& clock,
                            const DateSettings& date_settings) {
  if (word == "now") return FormatGeneralDate(clock.Now(), date_settings);
  if (word == "today") return FormatFixedDate(clock.Now(), date_settings);
  if (word == "yesterday") {
    return FormatFixedDate(DayBefore(clock.Now()), date_settings);
  }
  return std::string();
}

const std::string& TimeWords::Resolve(const std::string& word) {
  if (word == "now") {
    const LocalDateTime now = clock_.Now();
    if (!now_.made || !(now_.key == now)) {
      now_.text = FormatGeneralDate(now, date_settings_);
      now_.key = now;
      now_.made = true;
    }
    return now_.text;
  }
  const bool today = word == "today";
  if (!today && word != "yesterday") return empty_;
  LocalDateTime day = clock_.Now();
  day.hour = day.minute = day.second = 0;  // the text depends on the day only
  Resolved& resolved = today ? today_ : yesterday_;
  if (!resolved.made || !(resolved.key == day)) {
    resolved.text =
        FormatFixedDate(today ? day : DayBefore(day), date_settings_);
    resolved.key = day;
    resolved.made = true;
  }
  return resolved.text;
}

}  // namespace tavrolin
