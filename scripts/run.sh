#!/usr/bin/env bash
# Starts the program against the virtual thermostat. Without a display it runs
# under Xvfb for a few seconds and leaves screenshots in <build>/screens/.
set -euo pipefail
BUILD=${1:-build}
APP="$BUILD/calidor"
[ -x "$APP" ] || { echo "$APP is missing: build first (make build)" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$APP" --simulate
fi

SCREENS="$BUILD/screens"
mkdir -p "$SCREENS"
rm -f "$SCREENS"/run-*.png

# Pick a free display number.
for n in $(seq 91 130); do
    [ -e "/tmp/.X$n-lock" ] || { DISP=":$n"; break; }
done
Xvfb "$DISP" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
APP_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
    kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY="$DISP"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

shot() { import -window root "$SCREENS/run-$1.png" && echo "screenshot: $SCREENS/run-$1.png"; }

echo "No display: running under Xvfb on $DISP for about ten seconds."
"$APP" --simulate &
APP_PID=$!

sleep 1.5; shot 1-splash
sleep 3.5; shot 2-main
sleep 2;   shot 3-main-reading

# Open the about window through the menu, the way a person would.
MAIN=$(xdotool search --name "Calidor QN52-W" 2>/dev/null | head -n 1 || true)
if [ -n "$MAIN" ]; then
    xdotool windowactivate --sync "$MAIN" 2>/dev/null || xdotool windowfocus "$MAIN" 2>/dev/null || true
    # The menu bar's one menu, "Menu", sits at the top left of the window.
    xdotool mousemove --window "$MAIN" 20 10 click 1 2>/dev/null || true
    sleep 0.5; shot 4-menu
    # Its fourth item of five is "A propos".
    xdotool key Up Up Return 2>/dev/null || true
    sleep 1; shot 5-about
fi

if kill -0 "$APP_PID" 2>/dev/null; then
    echo "The program ran normally; stopping it."
else
    wait "$APP_PID" || { echo "The program ended early (exit $?)." >&2; exit 1; }
fi
