# Sourced by test_platforms.sh and dist.sh.
# configure_cross DIR TOOLCHAIN: configures a cross build in DIR (the
# toolchain file is given only when DIR is new, CMake keeps it after that).
configure_cross() {
  if [ -f "$1/CMakeCache.txt" ]; then
    cmake -S . -B "$1" >/dev/null
  else
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$2" >/dev/null
  fi
}
