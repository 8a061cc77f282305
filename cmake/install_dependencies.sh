#!/bin/sh
# Installs what building, testing and the demo need on a Debian machine,
# when something is missing. As root it runs apt-get; otherwise it prints the
# exact command to run and stops. With the argument `bench` it also installs
# what the benchmark against scipy needs (make bench-bestmatch).
set -eu

packages="cmake make g++ googletest libgtest-dev libbenchmark-dev octave liboctave-dev octave-statistics gnuplot-nox fonts-freefont-otf ghostscript valgrind"
if [ "${1:-}" = bench ]; then
  packages="$packages python3 python3-numpy python3-scipy"
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
  apt-get update -qq
  $command
else
  echo "Missing packages:$missing" >&2
  echo "Install them with:  sudo apt-get update && sudo $command" >&2
  exit 1
fi
