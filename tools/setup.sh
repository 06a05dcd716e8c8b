#!/bin/sh
# Installs what is missing on a Debian 12 machine, builds Vessolin, then
# either starts the application ("run") or runs every test ("test").
# Safe to run again: apt-get is skipped when every package is present and
# the build is incremental.
set -eu

usage() { echo "usage: $0 run|test" >&2; exit 2; }
[ $# -eq 1 ] || usage
action=$1
case "$action" in run|test) ;; *) usage ;; esac

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"

packages="build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6-dev libgl-dev
libsqlite3-dev libtag1-dev libchromaprint-dev
libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
xdg-utils dbus"
if [ "$action" = test ]; then
    # The tests make broken and re-encoded copies of the committed fixtures
    # and check the settings file with a second plist reader.
    packages="$packages ffmpeg python3"
fi

missing=""
for p in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in *"install ok installed"*) ;; *) missing="$missing $p" ;; esac
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    # shellcheck disable=SC2086
    apt-get install -y --no-install-recommends $missing
fi

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel

if [ "$action" = test ]; then
    ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
    # The engine's thread and lifetime tests once more under AddressSanitizer:
    # a use after free or a leak there would not show in the plain build.
    asan="$top/build-asan"
    cmake -S "$top" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESSOLIN_SANITIZE=ON
    cmake --build "$asan" --parallel --target sanitized_tests
    exec ctest --test-dir "$asan" --output-on-failure --parallel "$(nproc)" -L sanitized
fi

app="$build/src/Vessolin"
if [ ! -x "$app" ]; then
    echo "The engine is built; the application Vessolin is not part of this build yet."
    exit 0
fi
exec "$app"
