#include "platform/platform.h"

#include <cstdlib>

namespace tavrolin {

// Placeholder until the Linux backend lands.
std::unique_ptr<Platform> CreatePlatform(int, char**) { std::abort(); }

}  // namespace tavrolin
