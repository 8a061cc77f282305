# macOS x86-64 from Linux with Debian's LLVM, without any file of Apple's:
#   cmake -S . -B build-macos -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/macos-x86_64.cmake
# clang compiles for x86_64-apple-macos against LLVM's libc++ headers
# (libc++-14-dev) and our own declarations of the few C functions they name
# (macos/include); lld's ld64.lld links each plug-in as a bundle against text
# stubs of MATLAB's libraries and of libSystem (cmake/HostLibraries.cmake).
# Only the plug-ins delivered for macOS are built, with the checks of their
# structure; their programs cannot run here (tests/platforms runs the bundle).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# macOS 10.13: the first that ran on a Mac with AVX-512 (the iMac Pro, 2017),
# whose AVX-512 registers the kernel enables at a thread's first use (see
# common/processor_features.h), and one that the MATLAB releases of 2017 to
# 2020 support. For it the linker writes LC_VERSION_MIN_MACOSX, as Apple's
# linker does; 10.14 and later get LC_BUILD_VERSION.
set(PLUGINS_MACOS_MINIMUM 10.13 CACHE STRING "Oldest macOS the plug-ins load on")
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-apple-macos${PLUGINS_MACOS_MINIMUM})
set(PLUGINS_LIBCXX_INCLUDE /usr/lib/llvm-14/include/c++/v1 CACHE PATH "LLVM's libc++ headers")
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -nostdlibinc -isystem ${PLUGINS_LIBCXX_INCLUDE} -isystem ${CMAKE_CURRENT_LIST_DIR}/macos/include")
# The compile flags above reach the link too, where they mean nothing.
foreach(kind SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -Wno-unused-command-line-argument")
endforeach()
# No C library to link a test program against: CMake's checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

set(PLUGINS_WITHOUT_RUNTIME ON CACHE BOOL "Build without the target's C and C++ runtime libraries")
set(PLUGINS "pathtrace" CACHE STRING "The plug-ins to build")
set(PLUGINS_MEX_SUFFIX mexmaci64 CACHE STRING "Extension of the MATLAB plug-ins")
set(PLUGINS_OCTAVE OFF CACHE BOOL "Build the Octave plug-ins when mkoctfile is found")
set(PLUGINS_MATLAB OFF CACHE BOOL "Build the MATLAB plug-ins when CMake's FindMatlab finds a MATLAB")
set(PLUGINS_BENCHMARKS OFF CACHE BOOL "Build the benchmarks when Google Benchmark is found")
