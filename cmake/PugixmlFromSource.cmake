# pugixml for the Windows cross build, compiled from Debian's source package:
# Debian's libpugixml-dev is for Linux only. The package's original tarball
# is fetched into the build tree by `apt-get source --download-only pugixml`
# (which needs a deb-src entry; scripts/test-windows.sh adds one), unless
# TAVROLIN_PUGIXML_TARBALL names a tarball already at hand.
set(TAVROLIN_PUGIXML_TARBALL "" CACHE FILEPATH
    "pugixml source tarball for the cross build (fetched with apt-get source when empty)")

set(pugixml_download_dir ${CMAKE_BINARY_DIR}/third_party/download)
set(pugixml_tarball ${TAVROLIN_PUGIXML_TARBALL})
if(NOT pugixml_tarball)
  file(GLOB pugixml_tarball ${pugixml_download_dir}/pugixml_*.orig.tar.*)
endif()
if(NOT pugixml_tarball)
  file(MAKE_DIRECTORY ${pugixml_download_dir})
  message(STATUS "Fetching pugixml's Debian source package")
  execute_process(
    COMMAND apt-get source --download-only pugixml
    WORKING_DIRECTORY ${pugixml_download_dir}
    RESULT_VARIABLE pugixml_fetch_result
    OUTPUT_QUIET ERROR_VARIABLE pugixml_fetch_error)
  file(GLOB pugixml_tarball ${pugixml_download_dir}/pugixml_*.orig.tar.*)
  if(NOT pugixml_tarball)
    message(FATAL_ERROR
      "Cannot fetch pugixml's source package (apt-get source pugixml: "
      "${pugixml_fetch_result} ${pugixml_fetch_error}). Add a deb-src entry to "
      "APT's sources (scripts/test-windows.sh does), or set "
      "TAVROLIN_PUGIXML_TARBALL to pugixml's source tarball.")
  endif()
endif()
list(GET pugixml_tarball 0 pugixml_tarball)

set(pugixml_source_root ${CMAKE_BINARY_DIR}/third_party/source)
file(GLOB pugixml_source_dir LIST_DIRECTORIES true ${pugixml_source_root}/pugixml-*)
if(NOT pugixml_source_dir)
  file(ARCHIVE_EXTRACT INPUT ${pugixml_tarball} DESTINATION ${pugixml_source_root})
  file(GLOB pugixml_source_dir LIST_DIRECTORIES true ${pugixml_source_root}/pugixml-*)
endif()
if(NOT EXISTS ${pugixml_source_dir}/CMakeLists.txt)
  message(FATAL_ERROR "No pugixml sources in ${pugixml_tarball}")
endif()

set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(PUGIXML_BUILD_TESTS OFF CACHE BOOL "" FORCE)
# SYSTEM: its headers are third-party ones, outside the project's warnings.
add_subdirectory(${pugixml_source_dir} ${CMAKE_BINARY_DIR}/third_party/build
                 EXCLUDE_FROM_ALL SYSTEM)
