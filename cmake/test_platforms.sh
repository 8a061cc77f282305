#!/bin/sh
# make test-platforms: builds the Linux x86 (i686) and Windows x86-64 and x86
# builds beside the native one, runs their tests (natively and under wine),
# then runs the same cases through every build with every vector unit the
# processor offers and 1 and 2 threads, and compares each result bit with the
# native plain single-threaded run. Fails unless every bit agrees.
#
# The macOS x86-64 build (pathtrace.mexmaci64, made with LLVM without Apple's
# SDK) runs its structural checks, then its pathtrace cases through the
# Mach-O loader of the native build on every vector unit, compared with the
# native run of the same cases; a pathtrace built with -ffast-math in one
# core file must differ there, or the comparison proves nothing.
#
# BUILD names the native build folder (default build); the others are
# BUILD-i686, BUILD-win64, BUILD-win32 and BUILD-macos. JOBS sets the build
# parallelism.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}

. cmake/cross_build.sh
JOBS=${JOBS:-2}
dumps=$BUILD-platforms
platforms="i686 win64 win32"
toolchain_i686=cmake/toolchains/linux-i686.cmake
toolchain_win64=cmake/toolchains/mingw-w64-x86_64.cmake
toolchain_win32=cmake/toolchains/mingw-w64-i686.cmake

sh cmake/install_dependencies.sh --platforms
sh cmake/install_dependencies.sh --macos

# One wine server for the whole run (each test program would otherwise
# start and stop its own), with a prefix made before the tests race for it.
export WINEDEBUG=-all
unset DISPLAY || true
wine_started=no
cleanup() {
  if [ "$wine_started" = yes ]; then wineserver -k 2>/dev/null || true; fi
}
trap cleanup EXIT INT TERM
wineboot -i >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 && wine_started=yes

# run_tests DIR: the build's tests; their summary, or everything on a failure.
run_tests() {
  if (cd "$1" && ctest --output-on-failure -j "$JOBS" >ctest.log 2>&1); then
    grep "tests passed" "$1/ctest.log"
  else
    cat "$1/ctest.log"
    echo "tests failed in $1"
    exit 1
  fi
}

for platform in $platforms; do
  eval toolchain=\$toolchain_$platform
  echo "== $platform: configure and build"
  configure_cross "$BUILD-$platform" "$toolchain"
  cmake --build "$BUILD-$platform" -j "$JOBS" >/dev/null
  echo "== $platform: tests"
  run_tests "$BUILD-$platform"
done

echo "== macos: configure, build and check the structure"
configure_cross "$BUILD-macos" cmake/toolchains/macos-x86_64.cmake
cmake --build "$BUILD-macos" -j "$JOBS" >/dev/null
run_tests "$BUILD-macos"

echo "== the same cases on every build"
rm -rf "$dumps"
mkdir -p "$dumps"
runner() {
  case $1 in
    native) echo "$BUILD/tests/platform_cases" ;;
    i686) echo "$BUILD-i686/tests/platform_cases" ;;
    win64) echo "cmake/wine_run.sh x86_64-w64-mingw32 $BUILD-win64/bin/platform_cases.exe" ;;
    win32) echo "cmake/wine_run.sh i686-w64-mingw32 $BUILD-win32/bin/platform_cases.exe" ;;
  esac
}
plugin_dir() {
  case $1 in
    native) echo "$PWD/$BUILD/standin" ;;
    win64|win32) echo "Z:$PWD/$BUILD-$1/standin" ;;
    *) echo "$PWD/$BUILD-$1/standin" ;;
  esac
}
cmake --build "$BUILD" --target platform_cases -j "$JOBS" >/dev/null
dump_list=""
for platform in native $platforms; do
  for unit in plain sse2 avx2 avx512; do
    for threads in 1 2; do
      dump=$dumps/$platform-$unit-t$threads.dump
      if HMM_PLUGINS_VECTOR_UNIT=$unit HMM_PLUGINS_THREADS=$threads \
         $(runner $platform) run "$(plugin_dir $platform)" "$dump" >"$dump.log" 2>&1; then
        dump_list="$dump_list $dump"
        printf '  %-6s %-6s %s threads: %s\n' "$platform" "$unit" "$threads" "$(tail -n 1 "$dump.log")"
      else
        cat "$dump.log"
        echo "platform cases failed on $platform ($unit, $threads threads)"
        exit 1
      fi
    done
  done
done
# The MATLAB plug-ins themselves (.mexglx, .mexw64, .mexw32), with the
# stand-in host in the role of MATLAB's libraries.
for platform in $platforms; do
  case $platform in
    i686) suffix=mexglx ;;
    win64) suffix=mexw64 ;;
    win32) suffix=mexw32 ;;
  esac
  dump=$dumps/$platform-$suffix.dump
  roles=$PWD/$BUILD-$platform/standin_as_host
  if LD_LIBRARY_PATH=$roles WINEPATH=$roles HMM_PLUGINS_THREADS=2 \
     $(runner $platform) run "$(plugin_dir $platform | sed 's|/standin$|/mex|')" "$dump" ".$suffix" >"$dump.log" 2>&1; then
    dump_list="$dump_list $dump"
    printf '  %-6s %-13s %s\n' "$platform" "$suffix" "$(tail -n 1 "$dump.log")"
  else
    cat "$dump.log"
    echo "platform cases failed with the $suffix plug-ins"
    exit 1
  fi
done
# The macOS plug-in (pathtrace alone) through the Mach-O loader, on every
# vector unit; the unit the bundle reports choosing must be the one the
# native build chose under the same setting.
cases=$BUILD/tests/platform_cases
HMM_PLUGINS_VECTOR_UNIT=plain HMM_PLUGINS_THREADS=1 \
  "$cases" run "$BUILD/standin" "$dumps/native-pathtrace.dump" .mexstandin pathtrace >/dev/null
chosen() { sed -n 's/.*(vector unit \([a-z0-9]*\),.*/\1/p' "$1"; }
macos_list=""
for unit in plain sse2 avx2 avx512; do
  dump=$dumps/macos-$unit.dump
  if HMM_PLUGINS_VECTOR_UNIT=$unit "$cases" run "$BUILD-macos/mex" "$dump" .mexmaci64 pathtrace >"$dump.log" 2>&1; then
    macos_list="$macos_list $dump"
    printf '  %-6s %-6s %s\n' macos "$unit" "$(tail -n 1 "$dump.log")"
  else
    cat "$dump.log"
    echo "platform cases failed on macos ($unit)"
    exit 1
  fi
  if [ "$(chosen "$dump.log")" != "$(chosen "$dumps/native-$unit-t1.dump.log")" ]; then
    echo "the macOS bundle chose vector unit $(chosen "$dump.log") where the native build chose $(chosen "$dumps/native-$unit-t1.dump.log")"
    exit 1
  fi
done
# A wrong build must be caught: one core file built with -ffast-math.
wrong=$dumps/macos-fast-math.dump
"$cases" run "$BUILD-macos/faults/fast_math" "$wrong" .mexmaci64 pathtrace >"$wrong.log" 2>&1 || { cat "$wrong.log"; exit 1; }
if "$cases" compare "$dumps/native-pathtrace.dump" "$wrong" >"$wrong.compare" 2>&1; then
  cat "$wrong.compare"
  echo "the comparison did not catch pathtrace.mexmaci64 built with -ffast-math in best_path.cpp"
  exit 1
fi
echo "  caught: pathtrace.mexmaci64 with -ffast-math in best_path.cpp,$(sed -n 's/.*dump *\([0-9]* differing bits\).*/ \1/p' "$wrong.compare")"

status=0
"$cases" compare "$dumps/native-plain-t1.dump" $dump_list || status=1
"$cases" compare "$dumps/native-pathtrace.dump" $macos_list || status=1
exit $status
