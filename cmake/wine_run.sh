#!/bin/sh
# wine_run.sh TRIPLET PROGRAM [ARGS...]: runs a Windows test program under
# wine, headless and quiet, with the cross compiler's runtime DLLs (libstdc++,
# libgcc, winpthread) on wine's DLL search path.
set -eu
triplet=$1
shift
runtime=$(dirname "$("$triplet-g++-posix" -print-file-name=libstdc++-6.dll)")
winpthread=/usr/$triplet/lib
export WINEPATH="${WINEPATH:+$WINEPATH;}$runtime;$winpthread"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY
exec wine "$@"
