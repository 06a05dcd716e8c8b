#!/bin/sh
# Draws every picture again into res/res/mac (commit the result), and with
# --sheet <file.png> also writes a contact sheet to look at.
#   tools/art/render.sh [--sheet /tmp/sheet.png]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
tmp=${TMPDIR:-/tmp}/vessolin-art
mkdir -p "$tmp"
cmake -S "$here" -B "$tmp/build" -G Ninja >/dev/null
cmake --build "$tmp/build" >/dev/null
rm -rf "$tmp/svg"
python3 "$here/make_art.py" "$tmp/svg"
"$tmp/build/artrender" "$tmp/svg" "$top/res/res/mac"
if [ "${1:-}" = "--sheet" ]; then
    "$tmp/build/artsheet" "$top/res/res/mac" "$tmp/svg/demos.tsv" "${2:?sheet file}"
fi
