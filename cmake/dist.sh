#!/bin/sh
# make dist: builds every platform that can be built here and packs, per
# platform, the plug-ins with their help files, the README and a checksum
# list (SHA256SUMS) into dist/hmm-plugins-PLATFORM.zip:
#   linux-x86_64   Octave plug-ins (.mex) of the native build
#   linux-x86      MATLAB plug-ins (.mexglx)
#   windows-x86_64 MATLAB plug-ins (.mexw64)
#   windows-x86    MATLAB plug-ins (.mexw32)
#   macos-x86_64   MATLAB plug-in (pathtrace.mexmaci64, built with LLVM
#                  without Apple's SDK)
# A platform whose tools are missing is left out with a note.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}

. cmake/cross_build.sh
JOBS=${JOBS:-2}
root=$PWD
rm -rf dist
mkdir -p dist

pack() { # pack PLATFORM DIR PATTERN
  platform=$1
  dir=$2
  pattern=$3
  stage=dist/hmm-plugins-$platform
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
  cp README.md "$stage/"
  (cd "$stage" && sha256sum $(ls | grep -v '^SHA256SUMS$') > SHA256SUMS)
  (cd dist && cmake -E tar cf "hmm-plugins-$platform.zip" --format=zip "hmm-plugins-$platform")
  rm -rf "$stage"
  echo "dist/hmm-plugins-$platform.zip"
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
(cd dist && sha256sum *.zip > SHA256SUMS)
ls -l "$root/dist"
