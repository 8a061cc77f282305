#!/bin/sh
# Installs what building, testing and the demo need on a Debian machine,
# when something is missing. As root it runs apt-get; otherwise it prints the
# exact command to run and stops.
#
# With "bench": also what the benchmark against scipy needs (make
# bench-bestmatch).
# With "fuzz": what `make fuzz` needs instead (clang and its runtime libraries:
# libFuzzer, AddressSanitizer, UBSan).
# With --platforms: what the Linux x86 and Windows builds and their tests
# need instead (g++-multilib, the MinGW-w64 cross compilers with the posix
# thread model, wine for 64-bit and, through the i386 architecture, 32-bit
# Windows programs).
# With --macos: what the macOS x86-64 build from Linux and its checks need
# (clang, lld's ld64.lld, LLVM's llvm-objdump and llvm-nm, LLVM's libc++
# headers; no file of Apple's).
set -eu

packages="cmake make g++ googletest libgtest-dev libbenchmark-dev octave liboctave-dev octave-statistics octave-parallel gnuplot-nox fonts-freefont-otf ghostscript valgrind"
if [ "${1:-}" = fuzz ]; then
  packages="cmake make clang libclang-rt-dev"
elif [ "${1:-}" = bench ]; then
  packages="$packages python3 python3-numpy python3-scipy"
elif [ "${1:-}" = "--macos" ]; then
  packages="cmake make clang lld llvm libc++-14-dev"
elif [ "${1:-}" = "--platforms" ]; then
  packages="cmake make g++ googletest g++-multilib g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 wine32:i386"
fi

missing=""
have_package() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for package in $packages; do
  have_package "$package" || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

command="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" -eq 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
  apt-get update -qq
  $command
else
  echo "Missing packages:$missing" >&2
  echo "Install them with:  sudo apt-get update && sudo $command" >&2
  exit 1
fi
