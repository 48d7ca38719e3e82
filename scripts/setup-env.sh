#!/bin/bash
# Installs what the Windows-side build and tests need on a fresh Debian 12
# machine, as root.  A re-run on a ready machine only asks dpkg and returns.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

# Native packages first: qemu-user-static must be in place and registered
# before any i386 package is unpacked, because their maintainer scripts run
# 32-bit programs, which this kind of kernel only runs through emulation.
native=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 cmake wine wine64
        qemu-user-static xvfb xauth xdotool x11-utils python3-pefile python3-capstone
        python3-pytest locales libgtest-dev libbenchmark-dev libmspack-dev clang libclang-rt-14-dev
        libgcrypt20-dev libgcrypt-mingw-w64-dev osslsigncode)
optional=(ninja-build)
i386=(wine32:i386)  # scripts/install-wine32.sh installs it

missing() {
    local p
    for p in "$@"; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
            echo "$p"
        fi
    done
}

# Where the setup leaves the reason why 32-bit runs cannot be had, for the
# tests and the demo to quote; absent when wine32 is installed.
reason_file="$here/../build/wine32-missing.txt"

# A mirror in the middle of a sync serves one index out of step with its
# Release file for minutes or hours; the other indexes still came, and
# everything they list can be installed.  So a failed update is tried again
# a few times, and then the setup goes on with what it has.
apt_updated=no
failed_indexes=
apt_update() {
    local try log
    log=$(mktemp)
    for try in 1 2 3; do
        if [ "$try" -eq 1 ]; then echo "== apt-get update"; else echo "== apt-get update (try $try of 3)"; fi
        if apt-get -o DPkg::Lock::Timeout=900 update -q >"$log" 2>&1; then
            rm -f "$log"
            apt_updated=yes
            return 0
        fi
        [ "$try" -lt 3 ] && sleep 20
    done
    failed_indexes=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$log" | tr '\n' ' ')
    echo "== apt-get update failed 3 times; going on with the indexes that came." \
         "Failed: ${failed_indexes:-$(grep -m1 '^E:' "$log")}"
    rm -f "$log"
    apt_updated=yes
}
apt_install() {
    [ "$apt_updated" = yes ] || apt_update
    echo "== installing packages: $*"
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
        install -y -q "$@" >/dev/null
}

if [ "$(id -u)" -ne 0 ]; then
    echo "setup-env.sh: must run as root" >&2
    exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "== enabling the i386 architecture"
    dpkg --add-architecture i386
fi

mapfile -t need < <(missing "${native[@]}")
if [ "${#need[@]}" -gt 0 ]; then
    apt_install "${need[@]}"
fi

mapfile -t need < <(missing "${optional[@]}")
if [ "${#need[@]}" -gt 0 ]; then
    apt_install "${need[@]}" || echo "== optional packages not installed: ${need[*]}"
fi

# Wine takes its ANSI code page from the locale; the double-byte tests need
# code page 932, whose trail bytes include the backslash's value.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "== generating the ja_JP.UTF-8 locale"
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi

if ! "$here/setup-emulation.sh"; then
    echo "== 32-bit emulation unavailable: 32-bit runs will be skipped"
fi

# Without wine32 only the 32-bit runs are lost (the tests skip them and say
# why, the demo runs the 64-bit builds): that is no reason to stop.
mapfile -t need < <(missing "${i386[@]}")
if [ "${#need[@]}" -gt 0 ]; then
    [ "$apt_updated" = yes ] || apt_update
    # shellcheck disable=SC2086 # one URL a word
    "$here/install-wine32.sh" "$reason_file" $failed_indexes ||
        echo "== the wine32 install ended with status $?: 32-bit runs will be skipped"
else
    rm -f "$reason_file"
fi

echo "== environment ready"
