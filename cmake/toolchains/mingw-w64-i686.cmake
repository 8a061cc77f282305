# Windows x86 with Debian's MinGW-w64 cross compiler (posix thread model):
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
# SSE2 arithmetic instead of x87, so that every intermediate is a double.
set(PLUGINS_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(PLUGINS_MEX_SUFFIX mexw32 CACHE STRING "Extension of the MATLAB plug-ins")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
