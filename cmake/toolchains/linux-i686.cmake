# Linux x86 (32-bit) with Debian's g++-multilib:
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake
# SSE2 arithmetic instead of x87, so that every intermediate is a double.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-m32")
endforeach()
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# The machine runs 32-bit programs itself; the 64-bit GoogleTest of the
# system cannot be linked, so it is built from Debian's source package.
set(PLUGINS_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built with the project")
set(PLUGINS_MEX_SUFFIX mexglx CACHE STRING "Extension of the MATLAB plug-ins")
# Neither host nor Google Benchmark exists for this target here.
set(PLUGINS_OCTAVE OFF CACHE BOOL "Build the Octave plug-ins when mkoctfile is found")
set(PLUGINS_MATLAB OFF CACHE BOOL "Build the MATLAB plug-ins when CMake's FindMatlab finds a MATLAB")
set(PLUGINS_BENCHMARKS OFF CACHE BOOL "Build the benchmarks when Google Benchmark is found")
