# Installation on Linux and the Debian package.
#
#   cmake --install build/release            the service's files into
#                                            /opt/tavrolin (or --prefix)
#   cpack -G DEB --config build/release/CPackConfig.cmake
#                                            tavrolin_<version>_<arch>.deb:
#                                            the same files, the systemd unit
#                                            and the maintainer scripts that
#                                            create the service's user and
#                                            enable and start the service
#
# Everything the service needs lives in one folder: the executable, the
# historian simulator's libraries with their data file, and the example tag
# lists. The service's working folder is that folder; it reads its tag lists
# and writes its reports there.

set(TAVROLIN_PACKAGE_DIR /opt/tavrolin CACHE PATH
    "Folder the Debian package installs the service into")
set(TAVROLIN_SERVICE_USER tavrolin CACHE STRING
    "System user the packaged service runs as")

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX ${TAVROLIN_PACKAGE_DIR} CACHE PATH
      "Install folder" FORCE)
endif()

install(TARGETS tavrolin piapi32 pilog32
        RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/examples/simulator.dat DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/examples/tags.xml
              ${PROJECT_SOURCE_DIR}/examples/tags3.xml
              ${PROJECT_SOURCE_DIR}/examples/tags2.xml
        DESTINATION examples)

# The unit and the maintainer scripts, with the folder and user filled in.
set(debian_dir ${CMAKE_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/CorvaneService.service.in
               ${debian_dir}/CorvaneService.service @ONLY)
foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/${script}.in
                 ${debian_dir}/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                  GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()

# The unit belongs to the package only: a plain "cmake --install" leaves the
# system's unit folders alone (tavrolin -install writes a unit for a
# hand-placed executable).
install(FILES ${debian_dir}/CorvaneService.service
        DESTINATION /lib/systemd/system
        COMPONENT systemd_unit EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME tavrolin)
set(CPACK_PACKAGE_VENDOR "Tavrolin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Corvane Service: publishes historian values as XML report files")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrolin developers <tavrolin@localhost>")
# Staged through DESTDIR, so that the unit's absolute folder lands in the
# package and never on the building machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${TAVROLIN_PACKAGE_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, systemd")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Every 30 seconds the service reads three tag lists, asks the historian\n\
for the value of every point they name and writes the values into XML report\n\
files in /opt/tavrolin. The package holds the historian simulator as a\n\
stand-in for the historian's client library.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${debian_dir}/postinst ${debian_dir}/prerm ${debian_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# One package with the program's files and the unit.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/"
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};systemd_unit;/")
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_GENERATOR DEB)
include(CPack)
