#!/bin/sh
# Runs every fuzz program of a fuzz build for a bounded time, each over a
# working copy of its seed corpus, and prints how many inputs each ran.
# Usage: run_fuzzers.sh BUILD_DIR SECONDS
set -eu
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
status=0
summary=""
for program in "$build"/tests/fuzz/*_fuzz; do
  name=$(basename "$program" _fuzz)
  work="$build/fuzz-corpus/$name"
  mkdir -p "$work" "$build/fuzz-findings/$name"
  cp -n "$here/corpus/$name"/* "$work"/ 2>/dev/null || true
  log="$build/fuzz-$name.log"
  echo "== $name: fuzzing for $seconds s (log: $log)"
  if "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=1024 \
       -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$name/" "$work" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log and $build/fuzz-findings/$name/)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  summary="$summary$(printf '%-12s %12s inputs  %s' "$name" "${runs:-?}" "$result")\n"
done
printf "\nInputs run per fuzz target:\n$summary"
exit $status
