#!/usr/bin/env bash
# Draws share/screenshots/main-window.png, the AppStream screenshot, from the
# real program: the simulated camera's page in yellow on black with the
# horizontal reading guides, in a fresh settings folder on a private X server.
# usage: xvfb-run -a -s "-screen 0 1280x1024x24" packaging/screenshot.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
out=$(dirname "$0")/../share/screenshots/main-window.png
XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
"$build/src/app/kelvo-viewer" --simulate >/dev/null 2>&1 &
viewer=$!
trap 'kill $viewer $wm 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT
sleep 8
# A first run opens the preferences too; they are not what the picture is of.
if preferences=$(xdotool search --onlyvisible --name '^Preferences$' | head -1) && [[ -n $preferences ]]; then
  xdotool windowactivate --sync "$preferences" key Escape
  sleep 1
fi
window=$(xdotool search --onlyvisible --name '^Kelvo Viewer$' | head -1)
xdotool windowactivate --sync "$window"
xdotool windowsize --sync "$window" 900 600
xdotool windowmove --sync "$window" 0 0
sleep 1
xdotool key h
sleep 0.5
# Colour > All Colour Modes > Yellow on Black
xdotool key alt+o
sleep 0.5
xdotool key a
sleep 0.5
xdotool key Down Down Down Down Return
sleep 2
import -window "$window" png:- | convert - -strip -define png:compression-level=9 "$out"
