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

echo "== bounded fuzz runs of the list parser and the device match, and of pkgcheck's catalog, signature, INF, PE, cabinet and device-file readers (clang, libFuzzer)"
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

echo "== the setup's install of wine32, against a scripted apt"
/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/setup

echo "== reproducible build"
./scripts/check-reproducible.sh

echo "== Windows-side tests under Wine (creating a Wine prefix takes a few minutes)"
status=0
/usr/bin/python3 -m pytest -q -rs -p no:cacheprovider --durations=5 \
    --junitxml=build/wine-results.xml tests/wine || status=$?

# A green run that left out the 32-bit half should not pass unnoticed: the
# last lines say what was skipped and why.
/usr/bin/python3 - build/wine-results.xml <<'PY'
import collections, sys, xml.etree.ElementTree as ET
cases = list(ET.parse(sys.argv[1]).iter("testcase"))
skips = collections.Counter(s.get("message", "").removeprefix("Skipped: ").strip()
                            for c in cases for s in c.findall("skipped"))
failed = sum(1 for c in cases if c.find("failure") is not None or c.find("error") is not None)
for reason, n in skips.most_common():
    print(f"== skipped {n} Windows-side row{'s' if n != 1 else ''}: {reason}")
print(f"wine: {len(cases) - failed - sum(skips.values())} passed, {failed} failed, "
      f"{sum(skips.values())} skipped")
PY
exit "$status"
