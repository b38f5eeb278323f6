// The error a call raises, for tests of failures.
#pragma once

#include <functional>
#include <string>

#include "platform/error.h"

namespace tavrolin::testing {

// The error `call` raises; fails the test when it raises none.
Error ErrorOf(const std::function<void()>& call);

// Runs `call`: "[number] description" of the error it raises (any exception
// taken as the error traps take it), or "" when it raises none.
std::string FailureOf(const std::function<void()>& call);

}  // namespace tavrolin::testing
