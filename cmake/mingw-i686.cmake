# Cross build for 32-bit Windows with MinGW-w64 (Debian's posix-thread
# compilers). Many historian client libraries are 32-bit only; their
# functions are stdcall.
set(TAVROLIN_MINGW_TRIPLET i686-w64-mingw32)
# stdcall functions are exported under their plain names, as the historian's
# libraries export them, so that GetProcAddress finds them by name.
set(TAVROLIN_MINGW_DLL_LINK_FLAGS "-Wl,--kill-at")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
