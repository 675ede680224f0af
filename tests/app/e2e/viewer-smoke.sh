#!/usr/bin/env bash
# Starts the real viewer on an X server with the simulated camera, checks
# that the window shows the camera's page, recolours it from the keyboard,
# and quits with Ctrl+Q. Run under xvfb-run.
set -euo pipefail
viewer=$1
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb

"$viewer" --simulate >"$work/log" 2>&1 &
pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kelvo Viewer$' | head -n 1)
[[ -n $wid ]] || { echo "no video window"; cat "$work/log"; exit 1; }
xdotool windowfocus --sync "$wid"

# Mean brightness (0..1) and spread of the window's picture.
stats() {
  import -window "$wid" "$work/shot.png"
  convert "$work/shot.png" -colorspace Gray -format '%[fx:mean] %[fx:standard_deviation]\n' info:
}

# The simulated page arrives within a few seconds: mostly white paper with
# dark print, so bright on average with a clear spread. Sanitizer builds
# start much slower, hence the generous wait.
for _ in $(seq 1 240); do
  read -r mean spread < <(stats)
  awk -v m="$mean" -v s="$spread" 'BEGIN { exit !(m > 0.5 && s > 0.1) }' && break
  sleep 0.25
done
awk -v m="$mean" -v s="$spread" 'BEGIN { exit !(m > 0.5 && s > 0.1) }' ||
  { echo "no page on screen: mean $mean spread $spread"; cat "$work/log"; exit 1; }

# Choose "Black and White Negative" (mode 2) with the keyboard only: Alt+O
# opens the Colour menu, then the all-modes submenu, third entry. Menus open
# asynchronously and slowly under the sanitizers, so each step waits a little
# and the whole choice is tried again after closing any menu left open.
inverted=1
for _ in 1 2 3; do
  xdotool windowfocus --sync "$wid"
  xdotool key --window "$wid" alt+o
  sleep 1
  xdotool key Down Down
  sleep 0.3
  xdotool key Right
  sleep 1
  xdotool key Down Down Return
  for _ in $(seq 1 40); do
    read -r inverted _ < <(stats)
    awk -v m="$inverted" 'BEGIN { exit !(m < 0.5) }' && break 2
    sleep 0.25
  done
  xdotool key Escape Escape Escape
  sleep 0.5
done
awk -v m="$inverted" 'BEGIN { exit !(m < 0.5) }' ||
  { echo "picture not inverted: mean $inverted"; cat "$work/log"; exit 1; }

xdotool windowfocus --sync "$wid" && xdotool key ctrl+q || { echo "video window gone"; cat "$work/log"; exit 1; }
for _ in $(seq 1 240); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.25
done
if kill -0 "$pid" 2>/dev/null; then echo "viewer did not quit"; exit 1; fi
status=0
wait "$pid" || status=$?
if ((status != 0)); then echo "viewer ended with status $status"; grep -v -E 'ALSA|AL lib' "$work/log" | tail -40; exit 1; fi
echo "viewer showed the page, inverted it and quit"
