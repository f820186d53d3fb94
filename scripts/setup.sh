#!/bin/sh
# Shared set-up for play.sh and test.sh: installs the Debian packages the
# build needs when they are missing, then configures and builds Dustline
# (which also generates the data release into build/bin/).
#
# DL_BUILD_DIR  build folder (default: build)
# DL_SANITIZE   1 for a build with AddressSanitizer and UBSan
set -e
cd "$(dirname "$0")/.."

packages="build-essential cmake pkg-config libode-dev zlib1g-dev libpng-dev libsdl2-dev
libgl-dev libgl1-mesa-dri libglx-mesa0 libegl-mesa0 xvfb xauth libfreetype-dev fonts-dejavu-core
libgtest-dev libgmock-dev libbenchmark-dev"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q $missing
fi

build="${DL_BUILD_DIR:-build}"
sanitize=OFF
[ "${DL_SANITIZE:-0}" = 1 ] && sanitize=ON
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDL_SANITIZE=$sanitize
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$build" -j"$jobs"
