#!/bin/sh
# Builds Dustline with its data release and starts the game; any arguments
# are passed to the game (see README.md for the options). Without arguments
# the player rides on Rabbit Hill with the configured line-up.
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
if [ $# -eq 0 ]; then
    set -- --track rabbithill
fi
exec "${DL_BUILD_DIR:-build}/bin/dustline" "$@"
