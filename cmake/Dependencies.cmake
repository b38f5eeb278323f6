# Third-party libraries. On Linux they come from Debian's packages; the
# Windows cross build supplies its own (see cmake/mingw-*.cmake).
if(WIN32)
  # DLLs keep their plain names (piapi32.dll, not libpiapi32.dll), as with
  # every Windows compiler.
  set(CMAKE_SHARED_LIBRARY_PREFIX "")
endif()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/PugixmlFromSource.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/ExpatFromSource.cmake)
else()
  find_package(pugixml REQUIRED)
  find_package(expat CONFIG REQUIRED)
endif()
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
    # Newer googletest sources name their targets GTest::* themselves.
    foreach(gtest_target gtest gtest_main gmock)
      if(NOT TARGET GTest::${gtest_target})
        add_library(GTest::${gtest_target} ALIAS ${gtest_target})
      endif()
    endforeach()
  endif()
  include(GoogleTest)
endif()
if(TAVROLIN_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
