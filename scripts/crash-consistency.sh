#!/usr/bin/env bash
# Kills tessaryn-cli with SIGKILL at random moments while it writes workspace.json and the
# exports of 200 reels, reloads the project after each kill and checks that every file it
# finds is whole: absent or byte-identical to a complete reference. Prints the figure.
#   scripts/crash-consistency.sh [ITERATIONS]    (default 200)
set -euo pipefail
iterations="${1:-200}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$root/build/bin/tessaryn-cli"
[ -x "$cli" ] || "$root/scripts/build.sh" >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config"

# 200 reels over copies of one tiny clip, each with the same analysed timeline.
mkdir -p "$scratch/footage"
ffmpeg -v error -f lavfi -i testsrc2=size=32x32:rate=5:duration=1 -pix_fmt yuv420p \
  "$scratch/footage/clip000.mp4"
for i in $(seq 1 199); do cp "$scratch/footage/clip000.mp4" "$scratch/footage/clip$(printf %03d "$i").mp4"; done
timeline='{"summary":"s","segments":['
for i in $(seq 0 39); do
  timeline+="{\"source_start\":$i,\"source_end\":$((i + 1)),\"classification\":\"milestone\","
  timeline+="\"description\":\"Step $i of the assembly\",\"speed_factor\":1,"
  timeline+="\"edited_start\":$i,\"edited_end\":$((i + 1))}"
  [ "$i" -lt 39 ] && timeline+=','
done
timeline+=']}'
"$cli" create "$scratch/reference" --footage "$scratch/footage" >/dev/null
for clip in "$scratch"/footage/*.mp4; do
  printf '%s' "$timeline" >"$scratch/reference/timelines/$(basename "$clip" .mp4)_timeline.json"
done
"$cli" export "$scratch/reference" --format csv >/dev/null
"$cli" export "$scratch/reference" --format srt >/dev/null
cp -r "$scratch/reference" "$scratch/work"

damaged=0
kills=0
for i in $(seq 1 "$iterations"); do
  # Alternate between writing exports over existing files and creating a new workspace.json.
  if [ $((i % 2)) -eq 0 ]; then
    "$cli" export "$scratch/work" --format csv >/dev/null 2>&1 &
  else
    rm -rf "$scratch/fresh"
    "$cli" create "$scratch/fresh" --footage "$scratch/footage" >/dev/null 2>&1 &
  fi
  pid=$!
  sleep "0.0$((RANDOM % 60))"
  kill -9 "$pid" 2>/dev/null && kills=$((kills + 1)) || true
  wait "$pid" 2>/dev/null || true
  for file in "$scratch"/work/markers/*.csv; do
    cmp -s "$file" "$scratch/reference/markers/$(basename "$file")" || {
      echo "damaged: $file"
      damaged=$((damaged + 1))
    }
  done
  if [ -f "$scratch/fresh/workspace.json" ] &&
    ! "$cli" status "$scratch/fresh" --json >/dev/null 2>&1; then
    echo "damaged: fresh workspace.json"
    damaged=$((damaged + 1))
  fi
  "$cli" status "$scratch/work" --json >/dev/null || {
    echo "damaged: work workspace.json"
    damaged=$((damaged + 1))
  }
done
echo "crash-consistency: $iterations iterations, $kills killed mid-run, $damaged damaged files"
[ "$damaged" -eq 0 ]
