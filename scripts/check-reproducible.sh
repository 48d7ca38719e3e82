#!/usr/bin/env bash
# Checks that the shipping launcher is a pure function of the sources: two
# clean builds of the win32 preset must give the same bytes as each other and
# as dist/launcher.exe. The two builds run from different source and build
# paths, so a path that leaks into the binary shows up as a difference.
#
# Usage: scripts/check-reproducible.sh   (after cmake --build --preset win32)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
shipped=$root/dist/launcher.exe
if [[ ! -f $shipped ]]; then
    echo "check-reproducible: $shipped is missing;" \
         "build it with: cmake --preset win32 && cmake --build --preset win32" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/launcher-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The second source tree: the work tree as it is, committed or not, at a path
# of another length.
copy=$work/second-checkout-at-a-longer-path/src
mkdir -p "$copy"
(cd "$root" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$root" && tar --null -T - -cf -) | tar -xf - -C "$copy"

build() {
    local source=$1 binary=$2
    # LAUNCHER_DIST_DIR emptied: these builds must not overwrite dist/.
    if ! (cd "$source" &&
          cmake --preset win32 -B "$binary" -DLAUNCHER_DIST_DIR= &&
          cmake --build "$binary" --target launcher -j"$(nproc)") >"$binary.log" 2>&1; then
        cat "$binary.log" >&2
        echo "check-reproducible: the build in $binary failed" >&2
        exit 1
    fi
}

first=$work/a
second=$work/second-build-directory
build "$root" "$first"
build "$copy" "$second"

differ() {
    local a=$1 b=$2 what=$3
    cmp -s "$a" "$b" && return 1
    echo "check-reproducible: NOT REPRODUCIBLE: $what" >&2
    echo "  $a ($(stat -c %s "$a") bytes)" >&2
    echo "  $b ($(stat -c %s "$b") bytes)" >&2
    echo "  $(cmp -l "$a" "$b" 2>/dev/null | wc -l) bytes differ; first: $(cmp "$a" "$b" 2>&1 | head -1)" >&2
    return 0
}

status=0
if differ "$first/launcher.exe" "$second/launcher.exe" \
        "two clean builds of the same sources differ (time stamp or build path in the binary?)"; then
    status=1
fi
if differ "$first/launcher.exe" "$shipped" \
        "dist/launcher.exe differs from a clean build (stale dist/? rebuild it with cmake --build --preset win32)"; then
    status=1
fi
if [[ $status -eq 0 ]]; then
    echo "check-reproducible: OK: two clean builds and dist/launcher.exe are identical" \
         "($(stat -c %s "$shipped") bytes, sha256 $(sha256sum "$shipped" | cut -c1-16)...)"
fi
exit $status
