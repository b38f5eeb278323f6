#!/usr/bin/env bash
# Builds the project and runs every test: the format check, the test suite in
# a normal build and again under AddressSanitizer and UndefinedBehaviorSanitizer,
# each followed by its reliability stage (scripts/test-reliability.sh), then
# the Windows build under Wine (scripts/test-windows.sh). Set
# TAVROLIN_SKIP_WINDOWS=1 to leave the Windows stage out of a local run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh
scripts/check-format.sh

build() {  # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== normal build"
build build/release
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE reliability
echo "== reliability stage (normal build)"
scripts/test-reliability.sh build/release

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
build build/asan -DTAVROLIN_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE reliability
echo "== reliability stage (sanitizer build)"
scripts/test-reliability.sh build/asan
unset ASAN_OPTIONS UBSAN_OPTIONS

if [[ "${TAVROLIN_SKIP_WINDOWS:-0}" != 1 ]]; then
  echo "== Windows build under Wine"
  scripts/test-windows.sh
fi

echo "== all tests passed"
