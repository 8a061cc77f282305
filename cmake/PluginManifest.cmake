# Reads cmake/plugins.mk, the one list of what each plug-in is built from
# and with (build_plugins.m and the Octave package's Makefile read it too).
#
#   plugin_manifest(KEY OUT)          OUT: the words of KEY, as a list
#   plugin_manifest_sources(KEY OUT)  OUT: the files of KEY, absolute paths
#
# Changing the file configures the build again. Works in script mode too
# (cmake -P), with PROJECT_SOURCE_DIR set to the repository's root.

set(PLUGIN_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/plugins.mk)
if(NOT CMAKE_SCRIPT_MODE_FILE)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PLUGIN_MANIFEST})
endif()

file(READ ${PLUGIN_MANIFEST} manifest_text)
string(REGEX REPLACE "\\\\\n" " " manifest_text "${manifest_text}")
string(REPLACE ";" "\\;" manifest_text "${manifest_text}")
string(REPLACE "\n" ";" manifest_lines "${manifest_text}")
set(PLUGIN_MANIFEST_KEYS "")
foreach(line IN LISTS manifest_lines)
  string(REGEX REPLACE "#.*$" "" line "${line}")
  if(line MATCHES "^([A-Za-z0-9_]+)[ \t]*=(.*)$")
    set(key ${CMAKE_MATCH_1})
    string(STRIP "${CMAKE_MATCH_2}" words)
    string(REGEX REPLACE "[ \t]+" ";" words "${words}")
    set(PLUGIN_MANIFEST_${key} "${words}")
    list(APPEND PLUGIN_MANIFEST_KEYS ${key})
  elseif(NOT line MATCHES "^[ \t]*$")
    message(FATAL_ERROR "${PLUGIN_MANIFEST}: cannot read the line '${line}'")
  endif()
endforeach()

function(plugin_manifest key out)
  set(${out} "${PLUGIN_MANIFEST_${key}}" PARENT_SCOPE)
endfunction()

function(plugin_manifest_sources key out)
  set(files "${PLUGIN_MANIFEST_${key}}")
  list(TRANSFORM files PREPEND ${PROJECT_SOURCE_DIR}/)
  set(${out} "${files}" PARENT_SCOPE)
endfunction()
