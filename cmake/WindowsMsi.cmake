# Makes the Windows installer package from packaging/windows/tavrolin.wxs:
# stages the stripped files of the component "windows" (as in the zip), builds
# the package with wixl, and adds with msibuild what wixl has no element
# for. Run by the target "msi" of a cross build:
#
#   cmake --build build/windows-x86_64 --target msi
#
# gives build/windows-x86_64/package/tavrolin-<version>-windows-x86_64.msi.
# In script mode, for a package of another version (the upgrade test):
#
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DARCH=x64|x86
#         -DVERSION=<version> -DOUTPUT=<file.msi> -P cmake/WindowsMsi.cmake
foreach(variable BUILD_DIR SOURCE_DIR ARCH VERSION OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "WindowsMsi.cmake needs -D${variable}=...")
  endif()
endforeach()
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(NOT WIXL OR NOT MSIBUILD)
  message(FATAL_ERROR "The installer package needs wixl and msibuild "
                      "(Debian's packages wixl and msitools)")
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
                  WORKING_DIRECTORY ${BUILD_DIR})
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: ${status}")
  endif()
endfunction()

set(stage ${BUILD_DIR}/msi-stage)
file(REMOVE_RECURSE ${stage})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component windows
    --prefix ${stage} --strip)
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
file(REMOVE ${OUTPUT})
# wixl takes the files' sources only as paths relative to its folder.
run(${WIXL} -a ${ARCH} -D Version=${VERSION} -D Arch=${ARCH}
    -D StageDir=msi-stage -o ${OUTPUT}
    ${SOURCE_DIR}/packaging/windows/tavrolin.wxs)

file(READ ${SOURCE_DIR}/packaging/windows/tavrolin.wxs wxs)
string(REGEX MATCH "UpgradeCode=\"([0-9a-fA-F-]+)\"" _ "${wxs}")
string(TOUPPER "{${CMAKE_MATCH_1}}" upgrade_code)

# The tag lists' components: permanent (0x10), never overwritten (0x80), and
# 64-bit (0x100) in the x64 package.
if(ARCH STREQUAL "x64")
  set(tag_list_attributes 400)
else()
  set(tag_list_attributes 144)
endif()
# Deferred (0x400), as the system (0x800), not failing the installation
# (0x40), an executable run in a folder (34).
math(EXPR recovery_type "34 + 0x40 + 0x400 + 0x800")
set(recovery_command
    "\"[SystemFolder]sc.exe\" failure CorvaneService reset= 86400 actions= restart/60000/restart/60000/restart/60000")
foreach(query
    "UPDATE `Component` SET `Attributes` = ${tag_list_attributes} WHERE `Directory_` = 'DATAFOLDER'"
    # Every build has a product code of its own: a package of the version
    # installed already replaces it (migrating features, 0x1, up to and with
    # that version, 0x200), rather than being installed beside it. The
    # attributes are part of the row's key, so the row is made again.
    "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
    "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('${upgrade_code}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('SetRecoveryActions', ${recovery_type}, 'INSTALLDIR', '${recovery_command}')"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('SetRecoveryActions', 'NOT REMOVE~=\"ALL\"', 5850)"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('KeepHistorianFolder', 'NOT HISTORIANFOLDER AND PREVIOUSHISTORIANFOLDER', 51)"
    "UPDATE `Property` SET `Value` = 'HISTORIANFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'")
  # Not through run(): a query's semicolons would split it.
  execute_process(COMMAND ${MSIBUILD} ${OUTPUT} -q "${query}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msibuild ${OUTPUT} -q \"${query}\": ${status}")
  endif()
endforeach()
message(STATUS "Installer package: ${OUTPUT}")
