#include "platform/posix/locale_settings.h"

namespace tavrolin::posix {

// Placeholder until the locale is read: United States English settings.
DateSettings ReadDateSettings() { return DateSettings{}; }

}  // namespace tavrolin::posix
