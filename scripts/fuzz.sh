#!/usr/bin/env bash
# Fuzzes the update catalog reader (UpdateManifest::fromJson and its JSON parser) with libFuzzer.
#   scripts/fuzz.sh [SECONDS] [merge]
# SECONDS bounds the run (default 60). With "merge", the inputs of this run that reach new code
# are minimised into fuzz/corpus/manifest, which the regression test tst_manifestcorpus replays.
# Builds with Debian's clang into build-fuzz, apart from the normal gcc build; one process only.
set -euo pipefail

seconds="${1:-60}"
mode="${2:-}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [SECONDS] [merge]" >&2
  exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-fuzz"
seeds="$root/fuzz/corpus/manifest"

packages=(clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

mkdir -p "$out/corpus/manifest" "$out/artifacts"
clang++ -std=c++17 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" \
  "$root/fuzz/fuzz_manifest.cpp" \
  "$root/src/selfupdate/UpdateManifest.cpp" \
  "$root/src/selfupdate/UpdateManifestVersions.cpp" \
  "$root/src/selfupdate/TextUtil.cpp" \
  -o "$out/fuzz_manifest"

# New inputs go to the build folder's corpus; the seeds in the repository are only read.
status=0
"$out/fuzz_manifest" "$out/corpus/manifest" "$seeds" \
  -max_total_time="$seconds" -max_len=1024 -dict="$root/fuzz/manifest.dict" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 || status=$?

# Merging by edges alone (no hit counters) keeps only inputs that take a path no kept input
# takes, so the replayed corpus stays small.
if [ "$status" -eq 0 ] && [ "$mode" = "merge" ]; then
  "$out/fuzz_manifest" -merge=1 -use_counters=0 -max_len=1024 "$seeds" "$out/corpus/manifest"
fi
exit "$status"
