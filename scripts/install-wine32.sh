#!/bin/bash
# Installs wine32:i386 for scripts/setup-env.sh, as root, after apt-get
# update.  Usage: install-wine32.sh REASON_FILE [FAILED_INDEX_URL ...]
#
# The plain install comes first.  When it fails, the usual cause is an i386
# index that did not download (a mirror in the middle of a sync): amd64
# libraries the machine took from that suite then have no i386 twin at their
# version, and a Multi-Arch: same pair must match.  The main suite has both
# architectures at one version, so the install is tried again from there,
# with exactly those packages moved to such a version.  Only when that fails
# too does REASON_FILE get apt's reason, for the tests and the demo to quote
# when they skip the 32-bit runs; on success it is removed.
set -euo pipefail

reason_file=$1
shift
failed_indexes=("$@")
target=wine32:i386
tries=3

apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}

# apt's own words for a failed install in $1: the first i386 package it could
# not resolve, else its first error.  Either may be missing ("E: Unable to
# correct problems, you have held broken packages." alone, say), and a grep
# that finds nothing must not end the setup.
apt_reason() {
    local why
    why=$(grep -m1 -E '^ +[^ ]+:i386 : (Pre)?Depends' "$1" | sed -E 's/^ +//; s/ +/ /g' || true)
    [ -n "$why" ] || why=$(grep -m1 '^E:' "$1" | sed 's/^E: //' || true)
    echo "${why:-no reason given}"
}

# The suite whose i386 index was lost, as the moved lines name it.
missing_index_words() {
    local url suite
    for url in "${failed_indexes[@]}"; do
        case $url in */binary-i386/*) ;; *) continue ;; esac
        suite=$(sed -n 's#.*/dists/\([^/]*\)/.*#\1#p' <<<"$url")
        case $suite in
            *-security) echo "while the security suite's i386 index is unavailable" ;;
            ?*) echo "while the $suite suite's i386 index is unavailable" ;;
            *) continue ;;
        esac
        return
    done
    echo "which no i386 index has at its version"
}

# "name version" of each installed amd64 package that is Multi-Arch: same.
installed_same() {
    dpkg-query -W -f='${Package} ${Architecture} ${Multi-Arch} ${db:Status-Status} ${Version}\n' |
        awk '$2 == "amd64" && $3 == "same" && $4 == "installed" { print $1, $5 }' | sort -k1,1
}

# The packages $target needs, as apt resolves its dependencies.
needed_names() {
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances "$target" 2>/dev/null |
        sed -n 's/^\([^ <][^ ]*\):i386$/\1/p' | sort -u
}

# "version suite arch" rows of apt-cache madison for the given packages.
versions_of() {
    apt-cache madison "$@" 2>/dev/null |
        awk -F'|' '{ gsub(/ /, "", $2); split($3, a, " "); print $2, a[2], a[3] }'
}

# The highest version that both architectures of $1 have in $suite/main.
shared_version() {
    local v best=
    while read -r v; do
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done < <(versions_of "$1" "$1:i386" |
        awk -v s="$suite/main" '$2 == s { n[$1]++ } END { for (v in n) if (n[v] >= 2) print v }')
    echo "$best"
}

# The highest version of $1 (its own architecture) in $suite/main.
main_version() {
    local v best=
    while read -r v; do
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done < <(versions_of "$1" | awk -v s="$suite/main" '$2 == s { print $1 }')
    echo "$best"
}

# Prints "name installed target" for each Multi-Arch: same package that
# $target needs and whose installed amd64 version no i386 version reaches:
# apt will not move such a package down by itself, so the pair cannot match.
# An i386 version at or above the installed one is no obstacle: apt moves
# the amd64 package up to it with the suite as target release.
blockers() {
    local name installed v reachable shared
    while read -r name installed; do
        reachable=no
        while read -r v _ _; do
            if dpkg --compare-versions "$v" ge "$installed"; then reachable=yes; break; fi
        done < <(versions_of "$name:i386" | awk '$3 == "i386"')
        [ "$reachable" = no ] || continue
        shared=$(shared_version "$name")
        [ -n "$shared" ] && echo "$name $installed $shared"
    done < <(join <(needed_names) <(installed_same))
}

install_plain() {
    local log=$1
    echo "== installing packages: $target"
    apt_get install -y -q "$target" >"$log" 2>&1
}

# One line a moved package: "name from to reason...".
say_moved() {
    local name from to why
    read -r name from to why <<<"$1"
    echo "== moved $name from $from to $to $why"
}

install_from_main() {
    local log=$1 try name installed to pins=() moved=() extra line
    local words
    words=$(missing_index_words)
    suite=$(. "${OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
    [ -n "$suite" ] || { echo "E: no suite name in ${OS_RELEASE:-/etc/os-release}" >"$log"; return 1; }
    echo "== trying $target from the $suite suite, with its Multi-Arch: same packages matched"
    while read -r name installed to; do
        pins+=("$name=$to" "$name:i386=$to")
        moved+=("$name $installed $to to match its i386 twin $words")
    done < <(blockers)
    for ((try = 1; try <= tries; try++)); do
        # A package that depends on one moved at its exact version would be
        # removed by apt to make room; it moves down to the suite's version
        # with it instead, and the simulation is asked again.
        if apt_get install -s -t "$suite" --allow-downgrades "$target" "${pins[@]}" >"$log" 2>&1 &&
            ! grep -q '^Remv ' "$log"; then
            if apt_get install -y -q -t "$suite" --allow-downgrades "$target" "${pins[@]}" >"$log" 2>&1; then
                for line in "${moved[@]}"; do say_moved "$line"; done
                return 0
            fi
            return 1
        fi
        extra=0
        while read -r name installed; do
            to=$(main_version "$name")
            [ -n "$to" ] && [ "$to" != "$installed" ] || continue
            case " ${pins[*]} " in *" $name="*) continue ;; esac
            pins+=("$name=$to")
            moved+=("$name $installed $to to go with the packages it depends on at their exact version")
            extra=$((extra + 1))
        done < <(sed -n -E 's/^Remv ([^ :]+)(:amd64)? \[([^]]+)\].*/\1 \3/p; s/^ ([^ :]+) : Depends: [^ ]+ \(= [^)]+\) but .*/\1/p' "$log" |
            while read -r name installed; do
                [ -n "$installed" ] || installed=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null || true)
                echo "$name $installed"
            done)
        [ "$extra" -gt 0 ] || return 1
    done
    return 1
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if install_plain "$log"; then
    rm -f "$reason_file"
    exit 0
fi
why=$(apt_reason "$log")
if install_from_main "$log"; then
    rm -f "$reason_file"
    exit 0
fi
main_why=$(apt_reason "$log")
[ "$main_why" = "$why" ] || why="$why; from the main suite: $main_why"
if [ "${#failed_indexes[@]}" -gt 0 ]; then
    why="$why; indexes that failed to download: ${failed_indexes[*]}"
fi
mkdir -p "$(dirname "$reason_file")"
echo "$target cannot be installed (apt: $why)" >"$reason_file"
echo "== $(cat "$reason_file"): 32-bit runs will be skipped"
