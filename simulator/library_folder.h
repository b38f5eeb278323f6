// The folder that holds the simulator's client library.
#pragma once

#include <filesystem>

namespace tavrolin::simulator {

// The folder of the shared library that this code is linked into, or the
// empty path when the system cannot tell.
std::filesystem::path LibraryFolder();

}  // namespace tavrolin::simulator
