#!/bin/sh
# make dist: builds every platform that can be built here and packs, per
# platform, the plug-ins with their help files, Contents.m (the function list
# and the version), the README and a checksum list (SHA256SUMS) into
# dist/hmm-plugins-VERSION-PLATFORM.zip:
#   linux-x86_64   Octave plug-ins (.mex) of the native build
#   linux-x86      MATLAB plug-ins (.mexglx)
#   windows-x86_64 MATLAB plug-ins (.mexw64)
#   windows-x86    MATLAB plug-ins (.mexw32)
#   macos-x86_64   MATLAB plug-in (pathtrace.mexmaci64, built with LLVM
#                  without Apple's SDK)
# and the Octave package, dist/hmm-plugins-VERSION.tar.gz (make package).
# VERSION is the one of CMake's project(). A platform whose tools are missing
# is left out with a note.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}

. cmake/cross_build.sh
JOBS=${JOBS:-2}
root=$PWD
rm -rf dist
mkdir -p dist
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "dist: no project version in $BUILD/CMakeCache.txt" >&2
  exit 1
fi

pack() { # pack PLATFORM DIR PATTERN
  platform=$1
  dir=$2
  pattern=$3
  stage=dist/hmm-plugins-$version-$platform
  mkdir -p "$stage"
  found=no
  for file in "$dir"/$pattern; do
    [ -e "$file" ] || continue
    found=yes
    cp "$file" "$stage/"
    help=${file%.*}.m
    [ -e "$help" ] && cp "$help" "$stage/"
  done
  if [ "$found" = no ]; then
    echo "dist: no plug-ins for $platform in $dir, left out"
    rm -rf "$stage"
    return
  fi
  if [ ! -e "$dir/Contents.m" ]; then
    echo "dist: $dir/Contents.m is missing" >&2
    exit 1
  fi
  cp "$dir/Contents.m" README.md "$stage/"
  (cd "$stage" && sha256sum $(ls | grep -v '^SHA256SUMS$') > SHA256SUMS)
  (cd dist && cmake -E tar cf "hmm-plugins-$version-$platform.zip" --format=zip "hmm-plugins-$version-$platform")
  rm -rf "$stage"
  echo "dist/hmm-plugins-$version-$platform.zip"
}

pack linux-x86_64 "$BUILD/octave" "*.mex"
sh cmake/install_dependencies.sh --platforms
for platform in i686:linux-x86:linux-i686 win64:windows-x86_64:mingw-w64-x86_64 win32:windows-x86:mingw-w64-i686; do
  suffix=${platform%%:*}
  rest=${platform#*:}
  name=${rest%%:*}
  toolchain=cmake/toolchains/${rest#*:}.cmake
  configure_cross "$BUILD-$suffix" "$toolchain"
  cmake --build "$BUILD-$suffix" -j "$JOBS" >/dev/null
  pack "$name" "$BUILD-$suffix/mex" "*.mex*"
done
sh cmake/install_dependencies.sh --macos
configure_cross "$BUILD-macos" cmake/toolchains/macos-x86_64.cmake
cmake --build "$BUILD-macos" -j "$JOBS" >/dev/null
pack macos-x86_64 "$BUILD-macos/mex" "*.mexmaci64"
cmake --build "$BUILD" --target octave_package
(cd dist && sha256sum *.zip *.tar.gz > SHA256SUMS)
ls -l "$root/dist"
