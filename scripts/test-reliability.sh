#!/usr/bin/env bash
# The reliability stage: runs the tests labelled "reliability" of a build
# folder that scripts/test.sh has built (kill -9 during rewrites, a full disk
# on a small tmpfs where mounting is allowed, a hung and a crashing historian
# library, a soak of thousands of presses).
#   scripts/test-reliability.sh build/release
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: scripts/test-reliability.sh BUILD_DIR}
# One test at a time: the timing checks want the machine to themselves.
ctest --test-dir "$dir" --output-on-failure -L reliability -j 1
