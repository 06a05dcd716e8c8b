#!/bin/sh
# Installs what is missing on a Debian 12 machine, then either builds the
# application and starts it ("run") or builds everything and runs every
# test ("test").
# Safe to run again: apt-get is skipped when every package is present and
# the build is incremental. Only the package step needs root: it goes
# through sudo for a normal user; the build and the program run as the
# user, also when the script itself was started with sudo.
set -eu

usage() { echo "usage: $0 run|test" >&2; exit 2; }
[ $# -eq 1 ] || usage
action=$1
case "$action" in run|test) ;; *) usage ;; esac

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"

packages="build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libgl-dev
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
# Runs a package command as root: directly when we are root, else via sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "These packages are missing and installing them needs root:$missing" >&2
        echo "Install them (for example with su -c 'apt-get install ...') and run $0 again." >&2
        exit 1
    fi
}

# Runs the build and the program as the user who asked for them: under
# sudo that is SUDO_USER, never root.
as_user() {
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
        sudo --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR,DBUS_SESSION_BUS_ADDRESS \
            -u "$SUDO_USER" -H "$@"
    else
        "$@"
    fi
}

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

# The tests build with the strict warnings, each an error, so no warning
# lands unseen; the program alone builds without them, so a newer compiler
# that finds something new still gives the user a program.
if [ "$action" = test ]; then werror=ON; else werror=OFF; fi
as_user cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESSOLIN_WERROR=$werror
if [ "$action" = run ]; then
    # The program alone: its engine library is built as the program links
    # it, and nothing else is loaded at run time. Tests and benchmarks wait
    # for the test command.
    as_user cmake --build "$build" --parallel --target Vessolin
else
    as_user cmake --build "$build" --parallel
fi

if [ "$action" = test ]; then
    as_user ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
    # The engine's thread and lifetime tests once more under AddressSanitizer:
    # a use after free or a leak there would not show in the plain build.
    asan="$top/build-asan"
    as_user cmake -S "$top" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESSOLIN_SANITIZE=ON -DVESSOLIN_WERROR=ON
    as_user cmake --build "$asan" --parallel --target sanitized_tests
    as_user ctest --test-dir "$asan" --output-on-failure --parallel "$(nproc)" -L sanitized
    exit 0
fi

as_user "$build/src/Vessolin"
