#!/bin/sh
# Builds Dustline with its data release and starts the game; any arguments
# are passed to the game (see README.md for the options).
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
exec "${DL_BUILD_DIR:-build}/bin/dustline" "$@"
