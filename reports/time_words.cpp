#include "reports/time_words.h"

namespace tavrolin {

// Placeholder until the time words land.
std::string ResolveTimeWord(const std::string&, Clock&, const DateSettings&) {
  return std::string();
}

}  // namespace tavrolin
