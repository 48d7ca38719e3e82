#!/usr/bin/env bash
# Every test: build everything into dist/, then the host unit tests (with the
# fault injection), a bounded fuzz run, the checks of the shipping files, the
# reproducible-build check and the Windows-side tests of the real
# executables under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh

echo "== style (clang-format)"
git ls-files '*.cpp' '*.h' ':!tests/tools' | xargs clang-format --dry-run --Werror

echo "== host unit tests (ASan + UBSan)"
ctest --preset host

echo "== bounded fuzz run of the list parser and the device match (clang, libFuzzer)"
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j"$(nproc)"; } >build/fuzz.log 2>&1; then
    cat build/fuzz.log
    echo "== build of preset fuzz failed" >&2
    exit 1
fi
ctest --preset fuzz

echo "== every benchmark once at its smallest size, for no figures (Google Benchmark)"
./scripts/bench-smoke.sh

echo "== checks of the shipping files dist/launcher.exe and dist/install.exe"
/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/pe

echo "== reproducible build"
./scripts/check-reproducible.sh

echo "== Windows-side tests under Wine (creating a Wine prefix takes a few minutes)"
/usr/bin/python3 -m pytest -q -rs -p no:cacheprovider --durations=5 tests/wine
