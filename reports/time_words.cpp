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

}  // namespace tavrolin
