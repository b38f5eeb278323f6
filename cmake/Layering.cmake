# Which folder may include which. Every source file includes the project's
# headers by their path from the source root ("platform/error.h"), and every
# target has that root on its include path, so the compiler alone would let
# any file include any other. This table says what each folder may use, and
# the build checks every #include of every source file against it (the
# tavrolin_layering target, which runs cmake/CheckLayering.cmake before
# anything is compiled): an include that crosses the layering fails the build,
# naming the file, the line and the header.
#
#   tavrolin_layer(FOLDER [USES entry...] [SYSTEM] [XML])
#
# A file belongs to the longest FOLDER its path starts with, and so does a
# header it includes: "platform/posix/process.h" is of platform/posix, not of
# platform. A folder may always include its own headers; beyond them, those of
# the folders its USES names, or the single headers it names ("platform/
# error.h"). SYSTEM lets it include the headers of one operating system
# (<windows.h>, <unistd.h>, <sys/...>, ...), XML those of the XML libraries
# (<pugixml.hpp>, <expat.h>). The check reads the sources of every folder
# whatever system the build is for: the Linux build checks the Windows
# backend's includes too, and the other way round.
#
# The composition points do not include a backend: the host's main() asks
# platform/platform.h for CreatePlatform, which the backend that CMake links
# defines, and the simulator's libraries declare in simulator/ what their
# posix/ or windows/ folder defines.

set(TAVROLIN_LAYERS "")

macro(tavrolin_layer folder)
  cmake_parse_arguments(layer "SYSTEM;XML" "" "USES" ${ARGN})
  list(APPEND TAVROLIN_LAYERS ${folder})
  set(TAVROLIN_LAYER_USES_${folder} ${layer_USES})
  set(TAVROLIN_LAYER_SYSTEM_${folder} ${layer_SYSTEM})
  set(TAVROLIN_LAYER_XML_${folder} ${layer_XML})
endmacro()

# --- the program ------------------------------------------------------------
# Helpers of no system and no library.
tavrolin_layer(common)
# The seams: the interfaces the backends implement, and what they share.
tavrolin_layer(platform USES common)
# The backends, each of its own system.
tavrolin_layer(platform/posix USES common platform SYSTEM)
tavrolin_layer(platform/windows USES common platform SYSTEM)
# The document layer: the only folder that sees the XML libraries; it reads
# the files and decoders it is given and knows nothing else of the system.
tavrolin_layer(document
  USES common platform/error.h platform/input_file.h platform/text_decoder.h
  XML)
tavrolin_layer(historian USES common platform)
tavrolin_layer(reports USES common platform document historian)
tavrolin_layer(host USES common platform historian reports)

# --- the historian simulator ------------------------------------------------
# The libraries' entry points and the declarations that each system's folder
# defines.
tavrolin_layer(simulator USES common platform/calling_convention.h simulator/core)
# Data, time texts, archive maths: no system code, only the local time that
# each system's folder gives it.
tavrolin_layer(simulator/core USES common simulator/local_time.h)
# What the simulator takes from its system; it shares the backend's text
# conversions and locale names.
tavrolin_layer(simulator/posix
  USES common simulator simulator/core platform/posix SYSTEM)
tavrolin_layer(simulator/windows
  USES common simulator simulator/core platform/windows SYSTEM)

# --- benchmarks and tests ---------------------------------------------------
# The benchmarks measure the program against programs of pugixml alone.
tavrolin_layer(bench USES common platform historian reports SYSTEM XML)
# Tests reach the program through its seams; only the tests of one backend
# (a posix/ or windows/ folder) and the shared test support, which stands a
# fake platform beside each real one, include a backend.
set(tavrolin_tested common platform document historian reports host simulator
    simulator/core tests/support)
tavrolin_layer(tests USES ${tavrolin_tested} SYSTEM)
tavrolin_layer(tests/support
  USES ${tavrolin_tested} tests platform/posix platform/windows SYSTEM)
foreach(tavrolin_system posix windows)
  foreach(tavrolin_tested_folder platform simulator)
    tavrolin_layer(tests/${tavrolin_tested_folder}/${tavrolin_system}
      USES ${tavrolin_tested} tests platform/${tavrolin_system}
           simulator/${tavrolin_system}
      SYSTEM)
  endforeach()
endforeach()

# Headers of one operating system, and of the XML libraries.
set(TAVROLIN_SYSTEM_HEADERS
  "^(sys|systemd|linux|arpa|netinet)/"
  "^(unistd|dlfcn|iconv|langinfo|fcntl|dirent|poll|pthread|pwd|spawn|syslog|termios|xlocale)\\.h$"
  "^(windows|winbase|windef|winnt|winuser|winsvc|winerror|winnls|shellapi|shlobj|objbase|tchar|io|direct|process)\\.h$")
set(TAVROLIN_XML_HEADERS "^(pugixml\\.hpp|pugiconfig\\.hpp|expat\\.h|expat_external\\.h)$")

if(NOT CMAKE_SCRIPT_MODE_FILE)
  # Part of every build, and first: each target of the project's folders
  # waits for it (tavrolin_apply_project_flags), so that a crossing stops the
  # build before the compiler has run.
  add_custom_target(tavrolin_layering ALL
    COMMAND ${CMAKE_COMMAND} -DTAVROLIN_SOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/CheckLayering.cmake
    COMMENT "Checking that each folder includes only what it may use"
    VERBATIM)
endif()
