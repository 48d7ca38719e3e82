#!/bin/bash
# Lets 32-bit Linux programs (wine32 above all) run on a kernel built without
# 32-bit support, by handing i386 ELF files to qemu-i386-static through
# binfmt_misc.  Idempotent.  On failure it exits non-zero and prints one
# line "reason: ..." on stderr, which callers quote when skipping 32-bit runs.
# Wine's 32-bit loader also wants QEMU_RESERVED_VA=0x81000000 in its
# environment, or each process takes a minute to start (see
# tests/wine/harness.py).
set -u

BINFMT=/proc/sys/fs/binfmt_misc
QEMU=/usr/bin/qemu-i386-static

fail() { echo "reason: $*" >&2; exit 1; }

# A static i386 program of 96 bytes that only calls exit(42): if it returns
# 42 the kernel ran it one way or another, whatever binfmt_misc says.
probe_i386() {
    local probe rc
    probe=$(mktemp /tmp/i386-probe.XXXXXX) || return 1
    base64 -d > "$probe" <<'B64'
f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAA
AAAAAIAECACABAhgAAAAYAAAAAUAAAAAEAAAuAEAAAC7KgAAAM2A
B64
    chmod 755 "$probe"
    timeout 60 "$probe" </dev/null >/dev/null 2>&1
    rc=$?
    rm -f "$probe"
    [ "$rc" -eq 42 ]
}

if probe_i386; then
    exit 0
fi

[ -x "$QEMU" ] || fail "$QEMU missing (package qemu-user-static)"

if [ ! -e "$BINFMT/qemu-i386" ]; then
    [ "$(id -u)" -eq 0 ] || fail "not root, cannot register qemu-i386 in binfmt_misc"
    if [ ! -e "$BINFMT/register" ]; then
        mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/dev/null \
            || fail "cannot mount binfmt_misc on $BINFMT"
    fi
    # F: the kernel opens the interpreter now, so it also works inside
    # chroots and mount namespaces that lack /usr/bin/qemu-i386-static.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        > "$BINFMT/register" 2>/dev/null \
        || fail "writing $BINFMT/register was refused"
fi

if [ "$(head -n1 "$BINFMT/qemu-i386" 2>/dev/null)" != enabled ]; then
    [ "$(id -u)" -eq 0 ] || fail "qemu-i386 binfmt entry is disabled and we are not root"
    echo 1 > "$BINFMT/qemu-i386" 2>/dev/null || fail "cannot enable $BINFMT/qemu-i386"
fi
if [ "$(cat "$BINFMT/status" 2>/dev/null)" = disabled ]; then
    echo 1 > "$BINFMT/status" 2>/dev/null || fail "binfmt_misc is switched off and cannot be switched on"
fi

probe_i386 || fail "qemu-i386 is registered but a 32-bit ELF still does not run"
exit 0
