#include "platform/error.h"

#include <new>
#include <utility>

namespace tavrolin {

Error::Error(int32_t number, std::string description)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)) {}

Error ToError(const std::exception& e) {
  if (const auto* error = dynamic_cast<const Error*>(&e)) return *error;
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    return Error(errnum::kOutOfMemory, "Out of memory");
  }
  return Error(errnum::kInternal, std::string("Internal error: ") + e.what());
}

}  // namespace tavrolin
