#!/usr/bin/env bash
# The main job: build both executables into dist/ and run the shipping one
# under Wine against the example package on a simulated Windows XP.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
exec /usr/bin/python3 scripts/demo.py
