# add_plugin_core(NAME)
#
# Builds NAME_core, the host-free core of plug-in NAME, from its sources in
# cmake/plugins.mk: NAME_SOURCES, NAME_UNIT_SOURCES once per vector unit, and
# the shared libraries of NAME_LIBRARIES (target plugin_LIB).
#
# add_plugin(NAME CORE library)
#
# Builds plug-in NAME's entry layer (NAME_ENTRY in cmake/plugins.mk, with
# HOST_SOURCES, and OCTAVE_HOST_SOURCES for Octave, MEX_HOST_SOURCES for the
# other hosts) for every host that is available:
#   NAME_standin   build/standin/NAME.mexstandin, linked against the stand-in
#                  host (the tests load it with dlopen or LoadLibrary; not in a
#                  build without the target's runtime, PLUGINS_WITHOUT_RUNTIME)
#   NAME_octave    build/octave/NAME.mex, for GNU Octave (when mkoctfile is found)
#   NAME_matlab    build/matlab/NAME.<mexext>, for MATLAB's 32-bit-compatible
#                  array API (when FindMatlab finds a MATLAB)
#   NAME_mex       build/mex/NAME.<PLUGINS_MEX_SUFFIX>, for MATLAB without a
#                  MATLAB at hand (when PLUGINS_MEX_SUFFIX is set and FindMatlab
#                  found none): linked against host libraries made from our
#                  own lists of the host functions (cmake/HostLibraries.cmake)
# Every build exports only mexFunction: under the symbol version MEX on Linux,
# through a module-definition file on Windows and an export list on macOS.

include(${CMAKE_CURRENT_LIST_DIR}/Contents.cmake)

set(PLUGIN_VERSION_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/mexFunction.map)
set(PLUGIN_EXPORT_DEF ${PROJECT_SOURCE_DIR}/cmake/mexFunction.def)
set(PLUGIN_EXPORT_LIST ${PROJECT_SOURCE_DIR}/cmake/mexFunction.exports)
set(PLUGIN_STANDIN_DIR ${PROJECT_BINARY_DIR}/standin)
set(PLUGIN_OCTAVE_DIR ${PROJECT_BINARY_DIR}/octave)
set(PLUGIN_MATLAB_DIR ${PROJECT_BINARY_DIR}/matlab)
set(PLUGIN_MEX_DIR ${PROJECT_BINARY_DIR}/mex)
set(PLUGIN_NAMES "" CACHE INTERNAL "Plug-ins defined by add_plugin")
set(PLUGINS_MEX_SUFFIX "" CACHE STRING
    "Extension of the MATLAB plug-ins built without a MATLAB (mexglx, mexw32, mexw64; empty: none)")

# Keeps every symbol of target local but mexFunction.
function(plugin_export_mexfunction_only target)
  if(WIN32)
    target_sources(${target} PRIVATE ${PLUGIN_EXPORT_DEF})
  elseif(APPLE)
    target_link_options(${target} PRIVATE -Wl,-exported_symbols_list,${PLUGIN_EXPORT_LIST})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PLUGIN_EXPORT_LIST})
  else()
    target_link_options(${target} PRIVATE -Wl,--version-script=${PLUGIN_VERSION_SCRIPT})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PLUGIN_VERSION_SCRIPT})
  endif()
endfunction()

# Fails the link of target when a symbol is left unresolved (Linux; the
# Windows and macOS linkers always do).
function(plugin_no_undefined target)
  if(NOT WIN32 AND NOT APPLE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# The macOS plug-ins need @rpath/libmx.dylib, libmex.dylib and libmat.dylib
# and look for them relative to their own folder (run path @loader_path).
function(plugin_find_host_beside target)
  set_target_properties(${target} PROPERTIES SKIP_BUILD_RPATH ON)
  target_link_options(${target} PRIVATE -Wl,-rpath,@loader_path)
endfunction()

function(add_plugin_core name)
  plugin_manifest_sources(${name}_SOURCES sources)
  plugin_manifest_sources(${name}_UNIT_SOURCES unit_sources)
  plugin_manifest(${name}_LIBRARIES libraries)
  if(NOT sources)
    message(FATAL_ERROR "cmake/plugins.mk lists no ${name}_SOURCES")
  endif()
  add_library(${name}_core STATIC ${sources})
  add_vector_unit_sources(${name}_core ${unit_sources})
  target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/host)
  list(TRANSFORM libraries PREPEND plugin_)
  target_link_libraries(${name}_core PUBLIC ${libraries})
endfunction()

function(add_plugin name)
  cmake_parse_arguments(ARG "" "CORE" "" ${ARGN})
  plugin_manifest_sources(${name}_ENTRY entry)
  plugin_manifest_sources(HOST_SOURCES host_sources)
  plugin_manifest_sources(OCTAVE_HOST_SOURCES octave_host_sources)
  plugin_manifest_sources(MEX_HOST_SOURCES mex_host_sources)
  set(octave_sources ${entry} ${host_sources} ${octave_host_sources})
  set(sources ${entry} ${host_sources} ${mex_host_sources})

  # The fuzz build links entry layer and core into its fuzz programs and
  # builds no plug-in files.
  set_property(GLOBAL PROPERTY PLUGIN_${name}_SOURCES ${sources})
  set_property(GLOBAL PROPERTY PLUGIN_${name}_CORE ${ARG_CORE})
  if(PLUGINS_FUZZ)
    set(PLUGIN_NAMES ${PLUGIN_NAMES} ${name} CACHE INTERNAL "Plug-ins defined by add_plugin")
    return()
  endif()

  if(NOT PLUGINS_WITHOUT_RUNTIME)
    add_library(${name}_standin MODULE ${sources})
    target_include_directories(${name}_standin PRIVATE ${PROJECT_SOURCE_DIR}/host)
    target_link_libraries(${name}_standin PRIVATE ${ARG_CORE} standin_host)
    plugin_export_mexfunction_only(${name}_standin)
    plugin_no_undefined(${name}_standin)
    set_target_properties(${name}_standin PROPERTIES
      OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mexstandin"
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_STANDIN_DIR})
  endif()

  if(OCTAVE_MEX_FOUND)
    # Octave resolves the mx*/mex* symbols when it loads the file, so there is
    # nothing to link against and no --no-undefined.
    add_library(${name}_octave MODULE ${octave_sources})
    target_include_directories(${name}_octave PRIVATE
      ${PROJECT_SOURCE_DIR}/host ${OCTAVE_MEX_INCLUDE_DIRS})
    target_link_libraries(${name}_octave PRIVATE ${ARG_CORE})
    plugin_export_mexfunction_only(${name}_octave)
    if(APPLE)
      target_link_options(${name}_octave PRIVATE -undefined dynamic_lookup)
    else()
      target_link_options(${name}_octave PRIVATE -Wl,-Bsymbolic)
    endif()
    # Octave's own extension, on every platform.
    set_target_properties(${name}_octave PROPERTIES
      OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mex"
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_OCTAVE_DIR})
  endif()

  if(Matlab_FOUND)
    # R2017b selects the separate-complex API; MX_COMPAT_32 makes MATLAB's
    # header map mxCreateDoubleMatrix and mxCreateNumericArray onto their
    # 32-bit-compatible _700 forms, as `mex -compatibleArrayDims` does.
    # matlab_add_mex names the file with MATLAB's own extension (mexa64,
    # mexglx, mexmaci64, mexw64, mexw32).
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
    string(REGEX REPLACE "-Wl,-exported_symbols_list,[^ ]+"
           "-Wl,-exported_symbols_list,${PLUGIN_EXPORT_LIST}" link_flags "${link_flags}")
    set_target_properties(${name}_matlab PROPERTIES
      LINK_FLAGS "${link_flags}"
      LINK_DEPENDS "${PLUGIN_VERSION_SCRIPT};${PLUGIN_EXPORT_LIST}"
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_MATLAB_DIR})
    # The Linux and macOS builds name libmat among their needed libraries.
    if(NOT WIN32 AND Matlab_MAT_LIBRARY)
      if(APPLE)
        target_link_libraries(${name}_matlab PRIVATE ${Matlab_MAT_LIBRARY})
        # The host libraries are found relative to the plug-in's folder.
        set_target_properties(${name}_matlab PROPERTIES INSTALL_RPATH "@loader_path")
      else()
        target_link_libraries(${name}_matlab PRIVATE -Wl,--no-as-needed ${Matlab_MAT_LIBRARY})
      endif()
    endif()
  elseif(PLUGINS_MEX_SUFFIX)
    add_library(${name}_mex MODULE ${sources})
    target_include_directories(${name}_mex PRIVATE ${PROJECT_SOURCE_DIR}/host)
    target_include_directories(${name}_mex PRIVATE ${PROJECT_SOURCE_DIR}/host/standin)
    target_link_libraries(${name}_mex PRIVATE ${ARG_CORE} ${PLUGIN_HOST_LIBRARIES})
    plugin_export_mexfunction_only(${name}_mex)
    plugin_no_undefined(${name}_mex)
    if(WIN32)
      # No runtime DLL beside the plug-in: the host's libraries and the
      # system's alone.
      target_link_options(${name}_mex PRIVATE -static -static-libgcc -static-libstdc++)
    elseif(APPLE)
      plugin_find_host_beside(${name}_mex)
    endif()
    set_target_properties(${name}_mex PROPERTIES
      OUTPUT_NAME ${name} PREFIX "" SUFFIX ".${PLUGINS_MEX_SUFFIX}"
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_MEX_DIR})
  endif()

  # The help text (NAME.m, comments only) goes beside each built plug-in, so
  # that `help NAME` works in the host.
  set(help ${CMAKE_CURRENT_SOURCE_DIR}/${name}.m)
  if(EXISTS ${help})
    set(dirs ${PLUGIN_OCTAVE_DIR} ${PLUGIN_MATLAB_DIR})
    if(PLUGINS_MEX_SUFFIX AND NOT Matlab_FOUND)
      list(APPEND dirs ${PLUGIN_MEX_DIR})
    endif()
    foreach(dir ${dirs})
      configure_file(${help} ${dir}/${name}.m COPYONLY)
    endforeach()
  endif()

  set(PLUGIN_NAMES ${PLUGIN_NAMES} ${name} CACHE INTERNAL "Plug-ins defined by add_plugin")
endfunction()

# write_plugin_contents(): Contents.m, with the project's version and one line
# per plug-in, in every folder that holds the plug-ins' help texts.
function(write_plugin_contents)
  set(help_files "")
  foreach(name IN LISTS PLUGIN_NAMES)
    set(help ${PROJECT_SOURCE_DIR}/${name}/${name}.m)
    if(EXISTS ${help})
      list(APPEND help_files ${help})
    endif()
  endforeach()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${help_files})
  set(dirs ${PLUGIN_OCTAVE_DIR} ${PLUGIN_MATLAB_DIR})
  if(PLUGINS_MEX_SUFFIX AND NOT Matlab_FOUND)
    list(APPEND dirs ${PLUGIN_MEX_DIR})
  endif()
  foreach(dir IN LISTS dirs)
    write_contents(${dir}/Contents.m ${PROJECT_VERSION} HELP ${help_files})
  endforeach()
endfunction()
