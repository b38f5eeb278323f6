# Installation on Linux and the Debian package.
#
#   cmake --install build/release            the service's files, laid out
#                                            as below under the prefix (/usr)
#   cpack -G DEB --config build/release/CPackConfig.cmake
#                                            tavrolin_<version>_<arch>.deb:
#                                            the same files, the systemd unit
#                                            and the maintainer scripts that
#                                            create the service's user,
#                                            bring a 2.0 installation over,
#                                            and enable and start the service
#
# The layout:
#   /usr/lib/tavrolin/                 the program, the historian simulator's
#                                      libraries and its data file: code,
#                                      which only root can change
#   /etc/tavrolin/tags*.xml            the tag lists, configuration (dpkg
#                                      conffiles: an upgrade keeps an edited
#                                      list); the service's working folder
#   /var/lib/tavrolin/out*.xml         the reports, the service's state
#                                      (StateDirectory=), readable by all
#   /usr/share/doc/tavrolin/examples/  the example tag lists
# The reports' folder is made by systemd when the service starts (or by
# postinst, to take the reports of a 2.0 installation); the package holds no
# file there.

set(TAVROLIN_PROGRAM_DIR lib/tavrolin CACHE STRING
    "Folder below the install prefix for the program and its libraries")
set(TAVROLIN_CONFIG_DIR /etc/tavrolin CACHE PATH
    "Folder of the tag lists (the service's working folder)")
set(TAVROLIN_STATE_DIR /var/lib/tavrolin CACHE PATH
    "Folder of the reports; systemd's StateDirectory= names it below /var/lib")
set(TAVROLIN_OLD_DIR /opt/tavrolin CACHE PATH
    "Folder of a 2.0 installation, brought over on upgrade")
set(TAVROLIN_SERVICE_USER tavrolin CACHE STRING
    "System user the packaged service runs as")

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install folder" FORCE)
endif()
# A build folder configured before the layout changed has the old single
# folder as its install prefix.
if(DEFINED CACHE{TAVROLIN_PACKAGE_DIR})
  if(CMAKE_INSTALL_PREFIX STREQUAL TAVROLIN_PACKAGE_DIR)
    set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install folder" FORCE)
  endif()
  unset(TAVROLIN_PACKAGE_DIR CACHE)
endif()
set(program_dir ${CMAKE_INSTALL_PREFIX}/${TAVROLIN_PROGRAM_DIR})
get_filename_component(state_name ${TAVROLIN_STATE_DIR} NAME)

install(TARGETS tavrolin piapi32 pilog32
        RUNTIME DESTINATION ${TAVROLIN_PROGRAM_DIR}
        LIBRARY DESTINATION ${TAVROLIN_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/examples/simulator.dat
        DESTINATION ${TAVROLIN_PROGRAM_DIR})
set(tag_lists ${PROJECT_SOURCE_DIR}/examples/tags.xml
              ${PROJECT_SOURCE_DIR}/examples/tags3.xml
              ${PROJECT_SOURCE_DIR}/examples/tags2.xml)
install(FILES ${tag_lists} DESTINATION share/doc/tavrolin/examples)
install(FILES ${tag_lists} DESTINATION ${TAVROLIN_CONFIG_DIR})

# The unit, from the template that `tavrolin -install` fills in as well (see
# platform/posix/CMakeLists.txt): here with the package's folders and user.
set(debian_dir ${CMAKE_BINARY_DIR}/debian)
set(EXEC_START ${program_dir}/tavrolin)
set(WORKING_DIRECTORY ${TAVROLIN_CONFIG_DIR})
set(ACCOUNT_AND_FILES "\
# Runs as its own system user, reads the tag lists from its working folder\n\
# and writes the reports to its state folder (${TAVROLIN_STATE_DIR}),\n\
# the only folder it can write besides its private /tmp. Nothing it can\n\
# write is ever run or loaded as code: code runs only from the system's\n\
# program and library folders, all read-only to it.\n\
User=${TAVROLIN_SERVICE_USER}\n\
Group=${TAVROLIN_SERVICE_USER}\n\
PrivateUsers=yes\n\
RemoveIPC=yes\n\
ProtectHome=yes\n\
StateDirectory=${state_name}\n\
StateDirectoryMode=0755\n\
NoExecPaths=/\n\
ExecPaths=/usr/lib /usr/bin -/lib -/lib64 -/usr/lib64 -/bin")
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/CorvaneService.service.in
               ${debian_dir}/CorvaneService.service @ONLY)

# The maintainer scripts, with the folders and user filled in, and the tag
# lists marked as configuration files.
foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/${script}.in
                 ${debian_dir}/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                  GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()
file(WRITE ${debian_dir}/conffiles
     "${TAVROLIN_CONFIG_DIR}/tags.xml\n"
     "${TAVROLIN_CONFIG_DIR}/tags3.xml\n"
     "${TAVROLIN_CONFIG_DIR}/tags2.xml\n")

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
# Staged through DESTDIR, so that the absolute folders (the unit's, the tag
# lists') land in the package and never on the building machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, systemd")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Every 30 seconds the service reads three tag lists from ${TAVROLIN_CONFIG_DIR},\n\
asks the historian for the value of every point they name and writes the\n\
values into XML report files in ${TAVROLIN_STATE_DIR}. The package holds the\n\
historian simulator as a stand-in for the historian's client library.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${debian_dir}/postinst ${debian_dir}/prerm ${debian_dir}/postrm
    ${debian_dir}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# One package with the program's files and the unit.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/"
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};systemd_unit;/")
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_GENERATOR DEB)
include(CPack)
