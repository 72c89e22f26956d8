#!/usr/bin/env bash
# Starts the studio under a private Xvfb display on the demo workspace, opens its first analysed
# reel and writes a PNG of the screen, then one PNG per dialog beside it (name-<dialog>.png).
# Usage: scripts/screenshot.sh [output.png] [WIDTHxHEIGHT]   (screen size, 1600x1000 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshot.png}")
size="${2:-1600x1000}"
mkdir -p "$(dirname "$out")"

./scripts/install-deps.sh
# Only this script needs a way to click: install it on demand.
if ! command -v xdotool >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends xdotool >/dev/null
fi
./scripts/build.sh >/dev/null
workspace=$(build/bin/tessaryn-demo)

display=":$((90 + RANDOM % 100))"
scratch=$(mktemp -d)
Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
for _ in $(seq 1 50); do
  DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done

# Settings and keys of the test's own: the screenshot never changes the user's remembered state.
# The update catalog points at a closed loopback port, so no check leaves the machine.
HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" DISPLAY=$display \
  TESSARYN_UPDATE_CATALOG_URL="http://127.0.0.1:1/" \
  build/bin/tessaryn "$workspace" >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 1 100); do
  window=$(DISPLAY=$display xdotool search --name "Tessaryn — " 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "The studio window did not appear." >&2; exit 1; }
sleep 1
DISPLAY=$display xdotool windowmove "$window" 0 0
sleep 0.5
# The first row of the reel table is the demo's first analysed reel.
DISPLAY=$display xdotool mousemove 150 112 click --repeat 2 --delay 80 1
sleep 1
grab() { ffmpeg -v error -y -f x11grab -video_size "$size" -i "$display" -frames:v 1 "$1"; }
grab "$out"
echo "$out"

# Each dialog is opened through its menu (title clicked, entry chosen by its mnemonic),
# captured and closed again. Menu titles sit at these x positions of the menu bar.
dialogs=(
  "workspace:25:n"
  "settings:25:p"
  "metadata:85:p"
  "usage:218:a"
  "about:275:a"
  "updates:275:u"
)
for entry in "${dialogs[@]}"; do
  IFS=: read -r name x key <<<"$entry"
  DISPLAY=$display xdotool mousemove "$x" 12 click 1
  sleep 0.6
  DISPLAY=$display xdotool key "$key"
  sleep 1
  shot="${out%.png}-$name.png"
  grab "$shot"
  echo "$shot"
  DISPLAY=$display xdotool key Escape
  sleep 0.5
done
