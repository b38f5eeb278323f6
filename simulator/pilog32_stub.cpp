// The login library: accepts the registration.
#include <cstdint>

#include "platform/calling_convention.h"

extern "C" __attribute__((visibility("default"))) int32_t PIAPI_CALL
pilg_registerapp(const char*) {
  return 0;
}
