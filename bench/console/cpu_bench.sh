#!/usr/bin/env bash
# CPU time of the real program reading its virtual thermostat: starts
# `calidor --simulate` on a private Xvfb display, lets the splash go and
# continuous reading start, then reports the user and system CPU time the
# process spent over the next SECONDS (60 by default), from /proc/PID/stat,
# as a share of one core. The target is under 0.5 %.
#
# Then the same for console_repaint_floor, a window that only changes one
# label at each 100 ms tick: what the toolkit and the display server cost
# by themselves on this machine, the part of the figure no change to the
# program can remove.
#
#   bench/console/cpu_bench.sh [BUILD_DIR] [SECONDS]
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
program="$build/calidor"
floor="$build/console_repaint_floor"
[ -x "$program" ] || { echo "no $program: build the calidor target first" >&2; exit 1; }
[ -x "$floor" ] || { echo "no $floor: build the console_repaint_floor target first" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing: run scripts/deps.sh" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# utime + stime, in clock ticks (fields 14 and 15; the name field may hold blanks).
cpu_ticks() {
    local stat
    stat=$(cat "/proc/$1/stat")
    stat=${stat##*) }
    set -- $stat
    echo $(( ${12} + ${13} ))
}

# measure NAME COMMAND...: the command's CPU share over SECONDS, on a fresh display.
measure() {
    local name=$1
    shift
    # Xvfb picks a free display itself and writes its number to the file.
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    local display=":$(head -n1 "$work/display")"

    DISPLAY=$display QT_QPA_PLATFORM=xcb "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
    # The splash stays 3 s; reading starts with the main window.
    sleep 5
    kill -0 "$app_pid" 2>/dev/null || { echo "$name ended early:" >&2; cat "$work/app.log" >&2; exit 1; }
    local hz start_ticks start_ns end_ticks end_ns
    hz=$(getconf CLK_TCK)
    start_ticks=$(cpu_ticks "$app_pid")
    start_ns=$(date +%s%N)
    sleep "$seconds"
    end_ticks=$(cpu_ticks "$app_pid")
    end_ns=$(date +%s%N)
    kill "$app_pid" "$xvfb_pid" 2>/dev/null || true
    wait "$app_pid" "$xvfb_pid" 2>/dev/null || true
    app_pid=""
    xvfb_pid=""

    awk -v name="$name" -v t="$((end_ticks - start_ticks))" -v hz="$hz" -v ns="$((end_ns - start_ns))" 'BEGIN {
        cpu = t / hz; wall = ns / 1e9
        printf "%s: %.2f s of CPU over %.1f s = %.3f %% of one core (%.0f us per 100 ms tick)\n",
               name, cpu, wall, 100 * cpu / wall, 1e6 * cpu / (wall * 10)
    }'
}

measure "calidor --simulate, reading" "$program" --simulate
measure "one label changed per tick (floor)" "$floor"
