#!/usr/bin/env bash
# Sets everything up and runs Fixcaster on its built-in demo configuration: TCP output
# on port 5555, the default track, Repeat on, started at once ("/A").
# Watch the sentences with `nc 127.0.0.1 5555`, or through gpsd (see README.md).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-packages.sh scripts/packages.txt scripts/packages-run.txt
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target fixcaster >&2
# The program saves into its settings file on exit: give it a copy of the demo file.
mkdir -p build/demo
cp examples/demo.ini build/demo/demo.ini
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo >&2 "No display (DISPLAY and WAYLAND_DISPLAY are unset): running Fixcaster on Qt's" \
    "offscreen platform. The demo streams all the same: nc 127.0.0.1 5555 (Ctrl+C stops it)."
  export QT_QPA_PLATFORM=offscreen
fi
exec build/fixcaster "$PWD/build/demo/demo.ini" /A "$@"
