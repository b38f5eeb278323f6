# expat for the Windows cross build, compiled from Debian's source package
# (the upstream release with Debian's security fixes applied). The source
# package is fetched into the build tree by `apt-get source --download-only
# expat` (which needs a deb-src entry; scripts/test-windows.sh adds one) and
# unpacked with its patches by dpkg-source, unless TAVROLIN_EXPAT_SOURCE names
# an unpacked source tree already at hand.
set(TAVROLIN_EXPAT_SOURCE "" CACHE PATH
    "Unpacked expat source package for the cross build (fetched with apt-get source when empty)")

set(expat_download_dir ${CMAKE_BINARY_DIR}/third_party/expat-download)
set(expat_source_dir ${TAVROLIN_EXPAT_SOURCE})
if(NOT expat_source_dir)
  set(expat_source_dir ${CMAKE_BINARY_DIR}/third_party/expat-source)
  if(NOT EXISTS ${expat_source_dir}/expat/CMakeLists.txt)
    file(GLOB expat_dsc ${expat_download_dir}/expat_*.dsc)
    if(NOT expat_dsc)
      file(MAKE_DIRECTORY ${expat_download_dir})
      message(STATUS "Fetching expat's Debian source package")
      execute_process(
        COMMAND apt-get source --download-only expat
        WORKING_DIRECTORY ${expat_download_dir}
        RESULT_VARIABLE expat_fetch_result
        OUTPUT_QUIET ERROR_VARIABLE expat_fetch_error)
      file(GLOB expat_dsc ${expat_download_dir}/expat_*.dsc)
      if(NOT expat_dsc)
        message(FATAL_ERROR
          "Cannot fetch expat's source package (apt-get source expat: "
          "${expat_fetch_result} ${expat_fetch_error}). Add a deb-src entry "
          "to APT's sources (scripts/test-windows.sh does), or set "
          "TAVROLIN_EXPAT_SOURCE to an unpacked expat source package.")
      endif()
    endif()
    list(GET expat_dsc 0 expat_dsc)
    file(REMOVE_RECURSE ${expat_source_dir})
    execute_process(
      COMMAND dpkg-source --no-check -x ${expat_dsc} ${expat_source_dir}
      WORKING_DIRECTORY ${expat_download_dir}
      RESULT_VARIABLE expat_unpack_result
      OUTPUT_QUIET ERROR_VARIABLE expat_unpack_error)
    if(NOT EXISTS ${expat_source_dir}/expat/CMakeLists.txt)
      message(FATAL_ERROR "Cannot unpack ${expat_dsc} (dpkg-source: "
                          "${expat_unpack_result} ${expat_unpack_error})")
    endif()
    # One of Debian's patches tests `#if XML_DTD == 1`, while the CMake
    # configuration header defines XML_DTD empty: give it the value 1.
    file(READ ${expat_source_dir}/expat/expat_config.h.cmake expat_config)
    string(REPLACE "#cmakedefine XML_DTD\n" "#cmakedefine XML_DTD 1\n"
           expat_config "${expat_config}")
    file(WRITE ${expat_source_dir}/expat/expat_config.h.cmake "${expat_config}")
  endif()
endif()

set(EXPAT_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(EXPAT_BUILD_TOOLS OFF CACHE BOOL "" FORCE)
set(EXPAT_BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)
set(EXPAT_BUILD_TESTS OFF CACHE BOOL "" FORCE)
set(EXPAT_BUILD_DOCS OFF CACHE BOOL "" FORCE)
set(EXPAT_BUILD_PKGCONFIG OFF CACHE BOOL "" FORCE)
set(EXPAT_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
# SYSTEM: its headers are third-party ones, outside the project's warnings.
add_subdirectory(${expat_source_dir}/expat ${CMAKE_BINARY_DIR}/third_party/expat-build
                 EXCLUDE_FROM_ALL SYSTEM)
add_library(expat::expat ALIAS expat)
