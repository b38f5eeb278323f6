# Cross build for 64-bit Windows with MinGW-w64 (Debian's posix-thread
# compilers). Use with
#   cmake -S . -B build/windows-x86_64 \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(TAVROLIN_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
