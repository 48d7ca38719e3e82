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
        python3-pytest locales libgtest-dev libbenchmark-dev clang libclang-rt-14-dev)
optional=(ninja-build)
i386=(wine32:i386)

missing() {
    local p
    for p in "$@"; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
            echo "$p"
        fi
    done
}

apt_updated=no
apt_install() {
    if [ "$apt_updated" = no ]; then
        echo "== apt-get update"
        apt-get -o DPkg::Lock::Timeout=900 update -q >/dev/null
        apt_updated=yes
    fi
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

mapfile -t need < <(missing "${i386[@]}")
if [ "${#need[@]}" -gt 0 ]; then
    apt_install "${need[@]}"
fi

echo "== environment ready"
