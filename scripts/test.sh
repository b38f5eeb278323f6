#!/usr/bin/env bash
# Builds the project and runs every test (after generating the locales the
# tests run under): the format check, the test suite in a normal build with
# its reliability stage (scripts/test-reliability.sh), the benchmarks once at
# their smallest size, clang-tidy over the product sources
# (scripts/run-clang-tidy.sh), the Debian package made from the build
# (scripts/check-package.sh) and installed under a throw-away systemd
# (scripts/test-systemd.sh), the test suite and the reliability stage again
# under AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of
# each fuzz target (TAVROLIN_FUZZ_SECONDS each, default 20), then the Windows
# build under Wine (scripts/test-windows.sh). Set
# TAVROLIN_SKIP_WINDOWS=1 to leave the Windows stage out of a local run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh
scripts/setup-locales.sh
scripts/check-format.sh

# Compiler warnings fail the GCC builds (TAVROLIN_WARNINGS_AS_ERRORS=OFF lets
# them pass, for a compiler newer than the one the code is checked with).
warnings_as_errors=${TAVROLIN_WARNINGS_AS_ERRORS:-ON}

build() {  # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVROLIN_WARNINGS_AS_ERRORS="$warnings_as_errors" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== normal build"
build build/release -DTAVROLIN_BUILD_BENCHMARKS=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE reliability
echo "== reliability stage (normal build)"
scripts/test-reliability.sh build/release

# The benchmarks are no timed tests: each runs once at its smallest size, to
# see that it still builds and runs.
echo "== benchmarks, smallest size once"
for bench in build/release/bin/*_bench; do
  "$bench" --benchmark_filter='/10(/|$)' --benchmark_min_time=0.001 >/dev/null
done

echo "== clang-tidy (product sources)"
TAVROLIN_TIDY_JOBS=$jobs scripts/run-clang-tidy.sh build/release

echo "== Debian package"
scripts/check-package.sh build/release
echo "== Debian package under systemd"
scripts/test-systemd.sh build/release

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
build build/asan -DTAVROLIN_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE reliability
echo "== reliability stage (sanitizer build)"
scripts/test-reliability.sh build/asan
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== fuzz targets (libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
fuzz_targets=(tag_list_fuzzer category_report_fuzzer template_report_fuzzer)
cmake -S "$root" -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTAVROLIN_FUZZ=ON -DTAVROLIN_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target "${fuzz_targets[@]}"
for target in "${fuzz_targets[@]}"; do
  # New inputs go to the build tree; the checked-in corpus is only read.
  corpus=${target%_fuzzer}
  mkdir -p "build/fuzz/corpus/$corpus"
  if ! build/fuzz/bin/"$target" -max_total_time="${TAVROLIN_FUZZ_SECONDS:-20}" \
      -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
      -artifact_prefix=build/fuzz/ "build/fuzz/corpus/$corpus" \
      "tests/fuzz/corpus/$corpus" >"build/fuzz/$target.log" 2>&1; then
    tail -n 40 "build/fuzz/$target.log" >&2
    echo "FAILED: $target found a fault (input saved in build/fuzz/)" >&2
    exit 1
  fi
  echo "$target: $(grep -o 'stat::number_of_executed_units: [0-9]*' \
    "build/fuzz/$target.log" | grep -o '[0-9]*$') inputs, no fault"
done

if [[ "${TAVROLIN_SKIP_WINDOWS:-0}" != 1 ]]; then
  echo "== Windows build under Wine"
  scripts/test-windows.sh
fi

echo "== all tests passed"
