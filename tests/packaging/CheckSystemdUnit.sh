#!/usr/bin/env bash
# The system unit as the package lays it out: `systemd-analyze verify` has
# nothing to say about it, and its offline security review rates its
# exposure at MAX or lower.
#   CheckSystemdUnit.sh UNIT CALIDORCTL MAN_PAGE_GZ WORK_DIR MAX
# Exit status 77 (skipped) where systemd is not installed.
set -u
unit=$1 program=$2 man_page=$3 work=$4 max=$5
export LC_ALL=C SYSTEMD_COLORS=0

analyze=$(command -v systemd-analyze) || { echo "SKIPPED: systemd-analyze not found (scripts/deps.sh installs systemd)"; exit 77; }
units=/usr/lib/systemd/system
[[ -e $units/sysinit.target ]] || { echo "SKIPPED: no systemd units in $units to verify against"; exit 77; }

# A root holding this machine's units, the program and its manual page,
# where the unit's paths and dependencies resolve as on an installed system.
root=$work/root
rm -rf "$root"
mkdir -p "$root/usr/bin" "$root/usr/lib/systemd" "$root/usr/share/man/man1" || exit 1
cp -r "$units" "$root/usr/lib/systemd/" || exit 1
cp "$unit" "$root$units/" || exit 1
cp "$program" "$root/usr/bin/calidorctl" || exit 1
# ExecReload= signals the service with the system's kill.
cp "$(type -P kill)" "$root/usr/bin/kill" || exit 1
cp "$man_page" "$root/usr/share/man/man1/" || exit 1
name=$(basename "$unit")

failures=0
out=$(MANPATH=$root/usr/share/man "$analyze" verify --root="$root" "$name" 2>&1)
rc=$?
if ((rc != 0)) || [[ -n $out ]]; then
    echo "systemd-analyze verify $name ($rc):"
    echo "$out"
    failures=$((failures + 1))
fi

out=$("$analyze" security --offline=true --no-pager "$unit" 2>&1)
level=$(sed -n "s/.*Overall exposure level for $name: \([0-9.]*\) .*/\1/p" <<<"$out")
if [[ -z $level ]]; then
    echo "systemd-analyze security gave no rating:"
    echo "$out"
    failures=$((failures + 1))
elif awk -v l="$level" -v m="$max" 'BEGIN { exit !(l > m) }'; then
    grep '^- ' <<<"$out"
    echo "$name: exposure $level, more than $max"
    failures=$((failures + 1))
else
    echo "$name: exposure $level (at most $max)"
fi
rm -rf "$root"
((failures == 0)) && echo "$name: systemd-analyze verify is silent"
exit $((failures > 0))
