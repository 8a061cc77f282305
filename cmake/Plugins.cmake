# add_plugin(NAME ENTRY source CORE library)
#
# Builds one entry-layer source for every host that is available:
#   NAME_standin   build/standin/NAME.mexstandin, linked against the stand-in
#                  host (always; the tests load it with dlopen)
#   NAME_octave    build/octave/NAME.mex, for GNU Octave (when mkoctfile is found)
#   NAME_matlab    build/matlab/NAME.<mexext>, for MATLAB's 32-bit-compatible
#                  array API (when FindMatlab finds a MATLAB)
# Every Linux build exports only mexFunction, under the symbol version MEX.

set(PLUGIN_VERSION_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/mexFunction.map)
set(PLUGIN_STANDIN_DIR ${PROJECT_BINARY_DIR}/standin)
set(PLUGIN_OCTAVE_DIR ${PROJECT_BINARY_DIR}/octave)
set(PLUGIN_MATLAB_DIR ${PROJECT_BINARY_DIR}/matlab)
set(PLUGIN_NAMES "" CACHE INTERNAL "Plug-ins defined by add_plugin")

function(add_plugin name)
  cmake_parse_arguments(ARG "" "ENTRY;CORE" "" ${ARGN})
  set(sources ${ARG_ENTRY} ${PROJECT_SOURCE_DIR}/host/work_memory_mex.cpp)
  set(version_script -Wl,--version-script=${PLUGIN_VERSION_SCRIPT})

  # The fuzz build links entry layer and core into its fuzz programs and
  # builds no plug-in files.
  list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")
  set_property(GLOBAL PROPERTY PLUGIN_${name}_SOURCES ${sources})
  set_property(GLOBAL PROPERTY PLUGIN_${name}_CORE ${ARG_CORE})
  if(PLUGINS_FUZZ)
    set(PLUGIN_NAMES ${PLUGIN_NAMES} ${name} CACHE INTERNAL "Plug-ins defined by add_plugin")
    return()
  endif()

  add_library(${name}_standin MODULE ${sources})
  target_include_directories(${name}_standin PRIVATE ${PROJECT_SOURCE_DIR}/host)
  target_link_libraries(${name}_standin PRIVATE ${ARG_CORE} standin_host)
  target_link_options(${name}_standin PRIVATE ${version_script} -Wl,--no-undefined)
  set_target_properties(${name}_standin PROPERTIES
    OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mexstandin"
    LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_STANDIN_DIR}
    LINK_DEPENDS ${PLUGIN_VERSION_SCRIPT})

  if(OCTAVE_MEX_FOUND)
    # Octave resolves the mx*/mex* symbols when it loads the file, so there is
    # nothing to link against and no --no-undefined.
    add_library(${name}_octave MODULE ${sources})
    target_include_directories(${name}_octave PRIVATE
      ${PROJECT_SOURCE_DIR}/host ${OCTAVE_MEX_INCLUDE_DIRS})
    target_link_libraries(${name}_octave PRIVATE ${ARG_CORE})
    target_link_options(${name}_octave PRIVATE ${version_script} -Wl,-Bsymbolic)
    set_target_properties(${name}_octave PROPERTIES
      OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mex"
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_OCTAVE_DIR}
      LINK_DEPENDS ${PLUGIN_VERSION_SCRIPT})
  endif()

  if(Matlab_FOUND)
    # R2017b selects the separate-complex API; MX_COMPAT_32 makes MATLAB's
    # header map mxCreateDoubleMatrix and mxCreateNumericArray onto their
    # 32-bit-compatible _700 forms, as `mex -compatibleArrayDims` does.
    matlab_add_mex(NAME ${name}_matlab OUTPUT_NAME ${name} SRC ${sources}
                   LINK_TO ${ARG_CORE} R2017b)
    target_include_directories(${name}_matlab PRIVATE ${PROJECT_SOURCE_DIR}/host)
    target_compile_definitions(${name}_matlab PRIVATE MX_COMPAT_32)
    # FindMatlab exports mexFunction and the API-version query through
    # MATLAB's own map; export mexFunction alone, like every other build. A
    # MEX file without the API-version query is loaded with the
    # 32-bit-compatible API, the one it is built for.
    get_target_property(link_flags ${name}_matlab LINK_FLAGS)
    string(REGEX REPLACE "-Wl,--version-script,[^ ]+" "-Wl,--version-script,${PLUGIN_VERSION_SCRIPT}"
           link_flags "${link_flags}")
    set_target_properties(${name}_matlab PROPERTIES
      LINK_FLAGS "${link_flags}"
      LINK_DEPENDS ${PLUGIN_VERSION_SCRIPT}
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_MATLAB_DIR})
  endif()

  # The help text (NAME.m, comments only) goes beside each built plug-in, so
  # that `help NAME` works in the host.
  set(help ${CMAKE_CURRENT_SOURCE_DIR}/${name}.m)
  if(EXISTS ${help})
    foreach(dir ${PLUGIN_OCTAVE_DIR} ${PLUGIN_MATLAB_DIR})
      configure_file(${help} ${dir}/${name}.m COPYONLY)
    endforeach()
  endif()

  set(PLUGIN_NAMES ${PLUGIN_NAMES} ${name} CACHE INTERNAL "Plug-ins defined by add_plugin")
endfunction()
