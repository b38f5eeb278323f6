// The time words of template tag lists: "now", "today", "yesterday".
#pragma once

#include <string>

#include "platform/date_settings.h"

namespace tavrolin {

// The text of a time word at the time `now`: for "now", that date and time
// in the general date form of the user's settings; for "today" and
// "yesterday", that day or the day before as MM/DD/YYYY (with the date
// separator) followed by " 00:00"; for any other word, the empty text.
std::string ResolveTimeWord(const std::string& word, const LocalDateTime& now,
                            const DateSettings& date_settings);

// ResolveTimeWord for the many words of one report run, reading the clock
// at every call. The text of a word is made once for each clock second
// ("now") or day ("today", "yesterday") and then handed out again.
class TimeWords {
 public:
  TimeWords(Clock& clock, const DateSettings& date_settings)
      : clock_(clock), date_settings_(date_settings) {}

  // Valid until the next call.
  const std::string& Resolve(const std::string& word);

 private:
  struct Resolved {
    bool made = false;
    LocalDateTime key;
    std::string text;
  };

  Clock& clock_;
  const DateSettings& date_settings_;
  Resolved now_, today_, yesterday_;
  const std::string empty_;
};

}  // namespace tavrolin
