#include "tests/support/errors.h"

#include <gtest/gtest.h>

#include <exception>

namespace tavrolin::testing {

Error ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error raised";
  return Error(0, "");
}

std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    const Error error = ToError(e);
    return "[" + std::to_string(error.number()) + "] " + error.description();
  }
  return "";
}

}  // namespace tavrolin::testing
