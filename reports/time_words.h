// The time words of template tag lists: "now", "today", "yesterday".
#pragma once

#include <string>

#include "platform/date_settings.h"

namespace tavrolin {

// "now": the current local date and time in the general date form of the
// user's settings; "today" and "yesterday": that day as MM/DD/YYYY (with the
// date separator) followed by " 00:00"; any other word: the empty text.
std::string ResolveTimeWord(const std::string& word, Clock& clock,
                            const DateSettings& date_settings);

}  // namespace tavrolin
