#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the product sources
# (common, host, reports, historian, platform, simulator; the Linux ones),
# with the compile commands of a Linux build, two files at a time. Fails on any
# finding in a product source or header, and on any file clang-tidy cannot
# process.
#   scripts/run-clang-tidy.sh [BUILD_DIR]   default build/release, configured
#                                           with CMAKE_EXPORT_COMPILE_COMMANDS=ON
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/release}
jobs=${TAVROLIN_TIDY_JOBS:-2}

tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
[[ -n $tidy ]] || { echo "error: clang-tidy is not installed" >&2; exit 1; }
if [[ ! -f $build_dir/compile_commands.json ]]; then
  echo "error: no $build_dir/compile_commands.json; configure the build with" \
       "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
  exit 1
fi

mapfile -t sources < <(
  find host reports historian platform simulator -name '*.cpp' \
      -not -path '*/windows/*' | sort)

log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$SECONDS
# Every finding is written as "FILE:LINE:COLUMN: warning|error: ..."; a file
# clang-tidy cannot compile, a crash or any finding makes it exit non-zero,
# and xargs then does too: both its output and its status count.
status=0
printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 1 "$tidy" -p "$build_dir" --quiet >"$log" 2>&1 ||
  status=$?
findings=$(grep -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error):' "$log" |
  sed "s|^$PWD/||" | sort -u || true)
if [[ $status -ne 0 || -n $findings ]]; then
  # The whole report of each finding: the lines that follow it in the log.
  cat "$log" >&2
  echo "clang-tidy failed (exit status $status); findings:" >&2
  echo "${findings:-none listed}" >&2
  exit 1
fi
echo "clang-tidy: ${#sources[@]} files clean ($((SECONDS - start)) s)"
