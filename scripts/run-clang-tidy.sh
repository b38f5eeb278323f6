#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the product sources
# (common, host, reports, historian, document, platform, simulator) with the
# compile commands of a build, two files at a time. Fails on any finding in a
# product source or header, and on any file clang-tidy cannot process.
#   scripts/run-clang-tidy.sh [BUILD_DIR]   default build/release, configured
#                                           with CMAKE_EXPORT_COMPILE_COMMANDS=ON
#
# With a Linux build it analyses the Linux sources. With a MinGW-w64 cross
# build (scripts/test-windows.sh configures one) it analyses every product
# source that build compiles, the Windows backends and the OS-neutral code
# as compiled for Windows; clang takes the target from the cross compiler's
# name and the C++ library's and Windows headers from that compiler's own
# search list. TAVROLIN_TIDY_WINDOWS_ONLY=1 limits that run to the sources
# in windows/ folders.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/release}
jobs=${TAVROLIN_TIDY_JOBS:-2}

tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
[[ -n $tidy ]] || { echo "error: clang-tidy is not installed" >&2; exit 1; }
database=$build_dir/compile_commands.json
if [[ ! -f $database ]]; then
  echo "error: no $database; configure the build with" \
       "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
  exit 1
fi

product='(common|host|reports|historian|document|platform|simulator)/'
compiler=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' "$database" | head -1)
extra_args=()
if [[ $compiler == *mingw32* ]]; then
  target=Windows
  # The product sources that the cross build compiles.
  mapfile -t sources < <(
    sed -n 's|^ *"file": "'"$PWD"'/\(.*\)",\{0,1\}$|\1|p' "$database" |
      grep -E "^$product" | sort -u)
  if [[ ${TAVROLIN_TIDY_WINDOWS_ONLY:-0} == 1 ]]; then
    mapfile -t sources < <(printf '%s\n' "${sources[@]}" | grep '/windows/')
  fi
  # clang does not find the headers of Debian's MinGW-w64 GCC by itself (its
  # folder, such as 12-posix, is no version it recognises) and would take the
  # host's instead. The cross compiler's own search list is used in its
  # place: its C++ library first, then clang's built-in headers (rather than
  # GCC's intrinsics), then the Windows headers.
  mapfile -t search_list < <(
    echo | "$compiler" -xc++ -E -v - 2>&1 >/dev/null |
      sed -n '/^#include <...> search starts here:/,/^End of search list/p' |
      sed '1d;$d;s/^ *//' | xargs -r realpath -m)
  extra_args=(--extra-arg=-nostdinc++ --extra-arg=-nostdlibinc)
  for folder in "${search_list[@]}"; do
    case $folder in
      */include/c++*) extra_args+=("--extra-arg=-isystem$folder") ;;
      */lib/gcc/*) ;;  # GCC's own intrinsics and fixed headers
      *) extra_args+=("--extra-arg=-idirafter$folder") ;;
    esac
  done
  [[ ${#extra_args[@]} -gt 2 ]] ||
    { echo "error: $compiler lists no include folders" >&2; exit 1; }
else
  target=Linux
  mapfile -t sources < <(
    find common host reports historian document platform simulator -name '*.cpp' \
        -not -path '*/windows/*' | sort)
fi
# The build's GCC takes warning options that clang does not know (such as
# -Wno-restrict); clang is told to pass them by rather than stop.
extra_args+=(--extra-arg=-Wno-unknown-warning-option)
[[ ${#sources[@]} -gt 0 ]] ||
  { echo "error: no product sources in $database" >&2; exit 1; }

log=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$log" "$work"' EXIT
if [[ $target == Windows ]]; then
  # GCC's options that clang does not know stop it: -fno-keep-inline-dllexport
  # (CMake's hidden inline visibility for MinGW) is left out of a copy of the
  # database. Its commands name their folders in full, so the copy serves
  # from anywhere.
  sed 's/ -fno-keep-inline-dllexport//g' "$database" >"$work/compile_commands.json"
  database_dir=$work
else
  database_dir=$build_dir
fi
start=$SECONDS
# Every finding is written as "FILE:LINE:COLUMN: warning|error: ..."; a file
# clang-tidy cannot compile, a crash or any finding makes it exit non-zero,
# and xargs then does too: both its output and its status count.
status=0
printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 1 "$tidy" -p "$database_dir" --quiet "${extra_args[@]}" \
    >"$log" 2>&1 ||
  status=$?
findings=$(grep -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error):' "$log" |
  sed "s|^$PWD/||" | sort -u || true)
if [[ $status -ne 0 || -n $findings ]]; then
  # The whole report of each finding: the lines that follow it in the log.
  cat "$log" >&2
  echo "clang-tidy ($target) failed (exit status $status); findings:" >&2
  echo "${findings:-none listed}" >&2
  exit 1
fi
echo "clang-tidy ($target): ${#sources[@]} files clean ($((SECONDS - start)) s)"
