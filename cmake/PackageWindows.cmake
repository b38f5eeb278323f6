# The Windows distributable: a zip made by CPack's ZIP generator, holding one
# folder with tavrolin.exe, the historian simulator's piapi32.dll and
# pilog32.dll with their data file simulator.dat (the simulator reads it from
# the folder of its client library), the example tag lists and a short
# README. Everything lies in the component "windows", so that install rules
# made for other systems stay out of the zip.
#
#   cmake --build build/windows-x86_64
#   cd build/windows-x86_64 && cpack -G ZIP
#
# gives build/windows-x86_64/package/tavrolin-<version>-windows-x86_64.zip
# (windows-i686 for the 32-bit build).
install(TARGETS tavrolin piapi32 pilog32 RUNTIME DESTINATION . COMPONENT windows)
install(FILES ${PROJECT_SOURCE_DIR}/examples/simulator.dat
              ${PROJECT_SOURCE_DIR}/examples/tags.xml
              ${PROJECT_SOURCE_DIR}/examples/tags2.xml
              ${PROJECT_SOURCE_DIR}/examples/tags3.xml
        DESTINATION . COMPONENT windows)

# The README with Windows line ends, so that every editor shows its lines.
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
               ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt
        DESTINATION . COMPONENT windows)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tavrolin)
set(CPACK_PACKAGE_VENDOR "Tavrolin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Corvane Service: historian values published as XML report files")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME
    tavrolin-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL windows)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# The build keeps debugging information; the program and the DLLs in the
# distributable do not.
set(CPACK_STRIP_FILES ON)
include(CPack)

# The installer package beside the zip: "cmake --build <build> --target msi"
# (cmake/WindowsMsi.cmake).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(tavrolin_msi_arch x64)
else()
  set(tavrolin_msi_arch x86)
endif()
add_custom_target(msi
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DARCH=${tavrolin_msi_arch}
          -DVERSION=${PROJECT_VERSION}
          -DOUTPUT=${CMAKE_BINARY_DIR}/package/tavrolin-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}.msi
          -P ${PROJECT_SOURCE_DIR}/cmake/WindowsMsi.cmake
  DEPENDS tavrolin piapi32 pilog32
  COMMENT "Making the Windows installer package"
  VERBATIM)
