# Finds the hosts the plug-ins can be built for.
#
#   OCTAVE_MEX_FOUND, OCTAVE_MEX_INCLUDE_DIRS  GNU Octave (through mkoctfile)
#   Matlab_FOUND                               MATLAB (through CMake's FindMatlab)
#
# An instrumented plug-in cannot be loaded by an uninstrumented host, so the
# sanitizer build leaves both real hosts out and uses the stand-in host only.

set(OCTAVE_MEX_FOUND FALSE)
if(PLUGINS_OCTAVE AND NOT PLUGINS_SANITIZE)
  find_program(MKOCTFILE_EXECUTABLE mkoctfile)
  find_program(OCTAVE_CLI_EXECUTABLE octave-cli)
  if(MKOCTFILE_EXECUTABLE)
    execute_process(COMMAND ${MKOCTFILE_EXECUTABLE} -p OCTINCLUDEDIR
                    OUTPUT_VARIABLE octave_include_dir
                    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(status EQUAL 0 AND EXISTS "${octave_include_dir}/mex.h")
      get_filename_component(octave_include_parent "${octave_include_dir}" DIRECTORY)
      set(OCTAVE_MEX_INCLUDE_DIRS "${octave_include_dir}" "${octave_include_parent}")
      set(OCTAVE_MEX_FOUND TRUE)
      message(STATUS "Octave plug-ins: building with ${MKOCTFILE_EXECUTABLE}")
    endif()
  endif()
  if(NOT OCTAVE_MEX_FOUND)
    message(STATUS "Octave plug-ins: mkoctfile not found, not building them")
  endif()
endif()

set(Matlab_FOUND FALSE)
if(PLUGINS_MATLAB AND NOT PLUGINS_SANITIZE)
  find_package(Matlab QUIET COMPONENTS MX_LIBRARY)
  if(Matlab_FOUND)
    message(STATUS "MATLAB plug-ins: building against ${Matlab_ROOT_DIR}")
  else()
    message(STATUS "MATLAB plug-ins: no MATLAB found, not building them")
  endif()
endif()
