#!/usr/bin/env bash
# Checks that the shipping programs are a pure function of the sources: two
# clean builds of the win32 preset must give the same bytes as each other and
# as dist/launcher.exe and dist/install.exe. The two builds run from different source and build
# paths, so a path that leaks into the binary shows up as a difference.
#
# Usage: scripts/check-reproducible.sh   (after cmake --build --preset win32)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
programs=(launcher.exe install.exe)
for program in "${programs[@]}"; do
    if [[ ! -f $root/dist/$program ]]; then
        echo "check-reproducible: $root/dist/$program is missing;" \
             "build it with: cmake --preset win32 && cmake --build --preset win32" >&2
        exit 2
    fi
done

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
          cmake --build "$binary" --target launcher installtool -j"$(nproc)") >"$binary.log" 2>&1; then
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
summary=()
for program in "${programs[@]}"; do
    shipped=$root/dist/$program
    if differ "$first/$program" "$second/$program" \
            "$program: two clean builds of the same sources differ (time stamp or build path in the binary?)"; then
        status=1
    fi
    if differ "$first/$program" "$shipped" \
            "dist/$program differs from a clean build (stale dist/? rebuild it with cmake --build --preset win32)"; then
        status=1
    fi
    summary+=("$program $(stat -c %s "$shipped") bytes, sha256 $(sha256sum "$shipped" | cut -c1-16)...")
done
if [[ $status -eq 0 ]]; then
    echo "check-reproducible: OK: two clean builds and dist/ are identical ($(IFS=';'; echo "${summary[*]}"))"
fi
exit $status
