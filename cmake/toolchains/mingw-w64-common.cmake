# Shared part of the MinGW-w64 toolchain files; PLUGINS_MINGW_TRIPLET names
# the target. Test programs run under wine (cmake/wine_run.sh), with the
# compiler's runtime DLLs on wine's search path.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PLUGINS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLUGINS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLUGINS_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${PLUGINS_MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP ${PLUGINS_MINGW_TRIPLET}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${PLUGINS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../wine_run.sh ${PLUGINS_MINGW_TRIPLET})
set(PLUGINS_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built with the project")
# Neither host nor Google Benchmark exists for this target here.
set(PLUGINS_OCTAVE OFF CACHE BOOL "Build the Octave plug-ins when mkoctfile is found")
set(PLUGINS_MATLAB OFF CACHE BOOL "Build the MATLAB plug-ins when CMake's FindMatlab finds a MATLAB")
set(PLUGINS_BENCHMARKS OFF CACHE BOOL "Build the benchmarks when Google Benchmark is found")
