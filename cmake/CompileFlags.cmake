# The project's own compile and link flags, as INTERFACE targets that only
# the project's targets link (tavrolin_apply_project_flags, called once every
# folder is added). Third-party code built here (googletest from source, and
# pugixml and expat in the cross build) never sees them and keeps its own.
#
#   tavrolin_warnings     the warnings, and -Werror with
#                         TAVROLIN_WARNINGS_AS_ERRORS
#   tavrolin_hardening    the distribution's hardening flags, per platform
#   tavrolin_sanitizers   AddressSanitizer and UndefinedBehaviorSanitizer
#                         (TAVROLIN_SANITIZE), the fuzzing build's flags
#                         (TAVROLIN_FUZZ)
#   tavrolin_project_flags  all three
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

add_library(tavrolin_warnings INTERFACE)
add_library(tavrolin_hardening INTERFACE)
add_library(tavrolin_sanitizers INTERFACE)
add_library(tavrolin_project_flags INTERFACE)
target_link_libraries(tavrolin_project_flags INTERFACE
  tavrolin_warnings tavrolin_hardening tavrolin_sanitizers)

set(tavrolin_gcc_like "$<OR:$<CXX_COMPILER_ID:GNU>,$<CXX_COMPILER_ID:Clang>>")

# --- warnings -------------------------------------------------------------
if(MSVC)
  target_compile_options(tavrolin_warnings INTERFACE /utf-8 /W4
    $<$<BOOL:${TAVROLIN_WARNINGS_AS_ERRORS}>:/WX>)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # Beyond -Wall -Wextra -Wpedantic: a name hiding another, casts that drop
  # const or hide what they do, unsafe format strings, and class mistakes
  # (a base without a virtual destructor, an override hiding overloads).
  # -Wconversion stays off: nearly all it finds here is deliberate narrowing
  # between the historian's 32-bit types and the sizes of the containers.
  # Two-digit years are the historian's own time format, so "%y" is meant.
  target_compile_options(tavrolin_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2 -Wno-format-y2k
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
    $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>
    $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
    $<$<BOOL:${TAVROLIN_WARNINGS_AS_ERRORS}>:-Werror>)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND
     CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12 AND
     CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 warns, wrongly, of overlapping copies inside std::string when a
    # literal is joined to or assigned to a string in optimised code (GCC
    # bug 105329): a false alarm of the compiler's analysis, fixed in GCC 13.
    target_compile_options(tavrolin_warnings INTERFACE -Wno-restrict)
  endif()
endif()

# --- hardening ------------------------------------------------------------
# Executables are position-independent (-pie where the toolchain supports
# it) on every platform.
check_pie_supported(OUTPUT_VARIABLE tavrolin_pie_output LANGUAGES C CXX)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # Debian's default hardening: stack protector, stack clash protection,
  # control-flow protection (on processors that have it), fortified C
  # library calls, and relocations read-only and bound at start (full
  # RELRO). Fortified calls need optimisation, so builds without it (Debug,
  # no build type) go without; the sanitizer builds do too, since
  # AddressSanitizer checks those calls itself and reports them better.
  foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "tavrolin_has${flag}" supported)
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
      target_compile_options(tavrolin_hardening INTERFACE ${flag})
    endif()
  endforeach()
  if(NOT TAVROLIN_SANITIZE AND NOT TAVROLIN_FUZZ)
    target_compile_options(tavrolin_hardening INTERFACE
      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE>
      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  endif()
  # The search path is written as RUNPATH, which LD_LIBRARY_PATH comes
  # before (the tests put their stand-in historian first that way).
  target_link_options(tavrolin_hardening INTERFACE
    -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack -Wl,--enable-new-dtags)
elseif(WIN32)
  # MinGW-w64 and other Windows toolchains: the Windows hardening flags (the
  # linker's security features) belong here, beside those of Linux.
endif()

# --- sanitizers -----------------------------------------------------------
if(TAVROLIN_SANITIZE)
  target_compile_options(tavrolin_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(tavrolin_sanitizers INTERFACE -fsanitize=address,undefined)
  # GCC 12's uninitialised-use analysis misreads the standard library's
  # std::function inside std::regex once AddressSanitizer instruments it (a
  # known false alarm); the normal build keeps the warning.
  target_compile_options(tavrolin_sanitizers INTERFACE
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
endif()
if(TAVROLIN_FUZZ)
  target_compile_options(tavrolin_sanitizers INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(tavrolin_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# Links tavrolin_project_flags into every target that builds code in
# DIRECTORY and the folders below it, skipping folders whose sources lie
# outside the project (or in the build tree, where the cross build unpacks
# third-party sources), and has each wait for the layering check
# (cmake/Layering.cmake), so that no compiler runs on a crossing.
function(tavrolin_apply_project_flags directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      # Appended to the target's own link libraries, whichever signature of
      # target_link_libraries the target was declared with.
      set_property(TARGET ${target} APPEND PROPERTY
                   LINK_LIBRARIES tavrolin_project_flags)
      if(TARGET tavrolin_layering)
        add_dependencies(${target} tavrolin_layering)
      endif()
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${subdirectory}" NORMALIZE inside)
    cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${subdirectory}" NORMALIZE built)
    if(inside AND NOT built)
      tavrolin_apply_project_flags(${subdirectory})
    endif()
  endforeach()
endfunction()
