#!/bin/sh
# Builds Dustline and runs every test.
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
build="${DL_BUILD_DIR:-build}"
jobs=$(nproc 2>/dev/null || echo 2)
cd "$build"
ctest --output-on-failure -j"$jobs"
