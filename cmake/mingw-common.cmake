# The part of the MinGW-w64 toolchain files that does not depend on the
# target processor. TAVROLIN_MINGW_TRIPLET names the compilers' prefix.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${TAVROLIN_MINGW_TRIPLET})

set(CMAKE_C_COMPILER ${TAVROLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVROLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVROLIN_MINGW_TRIPLET}-windres)
set(CMAKE_MC_COMPILER ${TAVROLIN_MINGW_TRIPLET}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVROLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Hardening of every executable and DLL: the stack protector on functions
# with arrays or addresses of locals, and images that the system loads at a
# random address (DYNAMICBASE, with its relocations kept; HIGH_ENTROPY_VA on
# 64-bit Windows) into memory that does not execute data (NX_COMPAT).
# The Windows stage checks the characteristics with objdump -p.
set(CMAKE_C_FLAGS_INIT "-fstack-protector-strong")
set(CMAKE_CXX_FLAGS_INIT "-fstack-protector-strong")
set(tavrolin_mingw_link_flags "-Wl,--dynamicbase -Wl,--nxcompat")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  string(APPEND tavrolin_mingw_link_flags " -Wl,--high-entropy-va")
endif()

# One self-contained executable and DLLs: the compiler's run-time libraries
# (libgcc, libstdc++, winpthread) are linked in statically.
# TAVROLIN_MINGW_DLL_LINK_FLAGS adds what one target processor's DLLs need.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static ${tavrolin_mingw_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT
    "-static ${tavrolin_mingw_link_flags} ${TAVROLIN_MINGW_DLL_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT
    "-static ${tavrolin_mingw_link_flags} ${TAVROLIN_MINGW_DLL_LINK_FLAGS}")

# Tests run through Wine. Should any be listed by gtest_discover_tests, that
# happens at test time, not at build time, so that building needs no Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
