# Checks every #include of the project's sources against the table of
# cmake/Layering.cmake, and fails naming each include that crosses it.
#
#   cmake -DTAVROLIN_SOURCE_DIR=<source root> -P cmake/CheckLayering.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT TAVROLIN_SOURCE_DIR)
  message(FATAL_ERROR "Set TAVROLIN_SOURCE_DIR to the project's source root.")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Layering.cmake)

# The layer of a path from the source root: the longest layer folder it
# starts with; empty when none.
function(tavrolin_layer_of path out)
  set(best "")
  foreach(layer IN LISTS TAVROLIN_LAYERS)
    string(LENGTH "${layer}" length)
    string(LENGTH "${best}" best_length)
    if(length GREATER best_length)
      string(FIND "${path}" "${layer}/" at)
      if(at EQUAL 0)
        set(best "${layer}")
      endif()
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

# Whether `layer` may include `header` (a path from the source root, of the
# layer `header_layer`).
function(tavrolin_may_include layer header header_layer out)
  set(allowed FALSE)
  if(header_layer STREQUAL layer)
    set(allowed TRUE)
  else()
    foreach(entry IN LISTS TAVROLIN_LAYER_USES_${layer})
      if(entry STREQUAL header_layer OR entry STREQUAL header)
        set(allowed TRUE)
        break()
      endif()
    endforeach()
  endif()
  set(${out} ${allowed} PARENT_SCOPE)
endfunction()

# Whether `header` (as written between the angle brackets or quotes) matches
# one of the regular expressions of the list named `patterns`.
function(tavrolin_matches header patterns out)
  set(matched FALSE)
  foreach(pattern IN LISTS ${patterns})
    if(header MATCHES "${pattern}")
      set(matched TRUE)
      break()
    endif()
  endforeach()
  set(${out} ${matched} PARENT_SCOPE)
endfunction()

# The line of `file` that holds `text` first.
function(tavrolin_line_of file text out)
  file(READ "${TAVROLIN_SOURCE_DIR}/${file}" content)
  string(FIND "${content}" "${text}" at)
  string(SUBSTRING "${content}" 0 ${at} before)
  string(REGEX MATCHALL "\n" newlines "${before}")
  list(LENGTH newlines count)
  math(EXPR line "${count} + 1")
  set(${out} ${line} PARENT_SCOPE)
endfunction()

set(top_folders "")
foreach(layer IN LISTS TAVROLIN_LAYERS)
  string(REGEX REPLACE "/.*" "" top "${layer}")
  list(APPEND top_folders ${top})
endforeach()
list(REMOVE_DUPLICATES top_folders)

set(globs "")
foreach(top IN LISTS top_folders)
  foreach(extension h hpp c cc cpp rc)
    list(APPEND globs "${TAVROLIN_SOURCE_DIR}/${top}/*.${extension}")
  endforeach()
endforeach()
file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE "${TAVROLIN_SOURCE_DIR}"
     ${globs})

set(crossings "")
foreach(source IN LISTS sources)
  tavrolin_layer_of("${source}" layer)
  if(NOT layer)
    continue()
  endif()
  get_filename_component(source_folder "${source}" DIRECTORY)
  file(STRINGS "${TAVROLIN_SOURCE_DIR}/${source}" includes
       REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
  foreach(include_line IN LISTS includes)
    string(REGEX MATCH "([<\"])([^>\"]+)[>\"]" ignored "${include_line}")
    set(quoted "${CMAKE_MATCH_1}")
    set(header "${CMAKE_MATCH_2}")
    set(problem "")
    # A header written relative to the including file's folder counts as the
    # file it names; one that is nowhere in the tree (a generated header, a
    # library's) as a header of no layer.
    set(path "${header}")
    if(quoted STREQUAL "\"" AND NOT header MATCHES "/" AND
       EXISTS "${TAVROLIN_SOURCE_DIR}/${source_folder}/${header}")
      set(path "${source_folder}/${header}")
    endif()
    string(REGEX REPLACE "/.*" "" path_top "${path}")
    if(path_top IN_LIST top_folders AND path MATCHES "/")
      tavrolin_layer_of("${path}" header_layer)
      tavrolin_may_include("${layer}" "${path}" "${header_layer}" allowed)
      if(NOT allowed)
        list(JOIN TAVROLIN_LAYER_USES_${layer} " " uses)
        if(NOT uses)
          set(uses "nothing but its own headers")
        endif()
        set(problem "\"${path}\" belongs to ${header_layer}/, which ${layer}/ may not include (it may use: ${uses})")
      endif()
    else()
      tavrolin_matches("${header}" TAVROLIN_SYSTEM_HEADERS system)
      tavrolin_matches("${header}" TAVROLIN_XML_HEADERS xml)
      if(system AND NOT TAVROLIN_LAYER_SYSTEM_${layer})
        set(problem "<${header}> is a header of one operating system, which ${layer}/ may not include (only platform/ and simulator/ have posix/ and windows/ folders for them)")
      elseif(xml AND NOT TAVROLIN_LAYER_XML_${layer})
        set(problem "<${header}> is a header of the XML libraries, which only document/ includes")
      endif()
    endif()
    if(problem)
      tavrolin_line_of("${source}" "${include_line}" line)
      list(APPEND crossings "${source}:${line}: ${problem}")
    endif()
  endforeach()
endforeach()

if(crossings)
  # One line each, as a compiler reports an error, unwrapped.
  foreach(crossing IN LISTS crossings)
    message(NOTICE "${crossing}")
  endforeach()
  list(LENGTH crossings count)
  message(FATAL_ERROR
    "${count} include(s) cross the layering that cmake/Layering.cmake "
    "describes: include through the seam the folder may use, or change the "
    "table if the folder should use that layer.")
endif()
