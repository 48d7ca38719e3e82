#!/usr/bin/env bash
# Builds everything: the host tests and benchmark, the 32-bit shipping
# launcher and installer tool (dist/launcher.exe, dist/install.exe) and the
# 64-bit test builds (dist/x64/).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup-env.sh

jobs=$(nproc)
for preset in win32 win64 host; do
    echo "== building preset $preset"
    mkdir -p build
    log=build/$preset.log
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$jobs"; } >"$log" 2>&1; then
        cat "$log"
        echo "== build of preset $preset failed" >&2
        exit 1
    fi
done
echo "== built: $(ls dist/launcher.exe dist/install.exe dist/x64/launcher.exe dist/x64/install.exe | tr '\n' ' ')"
