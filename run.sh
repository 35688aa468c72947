#!/usr/bin/env bash
# Sets everything up and runs Fixcaster on its built-in demo configuration.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-packages.sh scripts/packages.txt
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target fixcaster_demo >&2
exec build/tools/fixcaster_demo "$@"
