#!/usr/bin/env bash
# Builds Tavrolin and runs it in debug mode on the example tag lists, with the
# historian simulator (libpiapi32.so, libpilog32.so) answering for the
# historian and reading its data from examples/simulator.dat.
#   scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/release
bin=$build/bin
run=$build/run

scripts/install-deps.sh
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target tavrolin piapi32 pilog32

# The service reads its tag lists from its working folder: a copy of the
# examples, renewed on every start.
mkdir -p "$run"
cp -f examples/tags.xml examples/tags3.xml examples/tags2.xml "$run"/
export TAVROLIN_SIMULATOR_DATA=$root/examples/simulator.dat
cd "$run"

cat <<INFO

Tavrolin runs in debug mode (process $$).
  Tag lists:       $run/tags.xml, tags3.xml, tags2.xml
  Simulator data:  $TAVROLIN_SIMULATOR_DATA (read again when it changes)
  Reports:         $bin/out.xml, out3.xml, out2.xml (beside the executable)
  The first refresh comes 30 seconds after the start, then every 30 seconds.
  Build out3.xml at once:  kill -USR1 $$
  Stop:                    Ctrl+C, or kill -TERM $$

INFO
exec "$bin/tavrolin" -debug
