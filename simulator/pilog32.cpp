// The simulator's login library: every registration is accepted.
#include "simulator/export.h"

SIMULATOR_EXPORT int32_t PIAPI_CALL pilg_registerapp(const char* /*dll_name*/) {
  return tavrolin::simulator::kOk;
}
