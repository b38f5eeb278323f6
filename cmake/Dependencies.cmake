# Third-party libraries. On Linux they come from Debian's packages; the
# Windows cross build supplies its own (see cmake/mingw-*.cmake).
find_package(pugixml REQUIRED)
if(NOT TARGET pugixml::pugixml AND TARGET pugixml)
  add_library(pugixml::pugixml ALIAS pugixml)
endif()

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
endif()

if(TAVROLIN_BUILD_TESTS)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    # Debian's googletest package ships the sources for builds that cannot
    # use the prebuilt libraries (the cross build, for one).
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
  include(GoogleTest)
endif()
if(TAVROLIN_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
