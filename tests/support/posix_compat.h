// setenv and unsetenv for the tests on Windows, whose C library has only
// _putenv_s. The historian stand-ins read the same environment.
#pragma once

#include <stdlib.h>

#if defined(_WIN32)
inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && getenv(name) != nullptr) return 0;
  return _putenv_s(name, value);
}

inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif
