# Windows x86-64 with Debian's MinGW-w64 cross compiler (posix thread model,
# which std::thread needs):
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(PLUGINS_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PLUGINS_MEX_SUFFIX mexw64 CACHE STRING "Extension of the MATLAB plug-ins")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
