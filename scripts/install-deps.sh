#!/usr/bin/env bash
# Installs what Tessaryn needs to build, test and run on Debian 12.
# Idempotent: asks apt only for the packages that are not installed yet.
set -euo pipefail

packages=(
  build-essential g++ cmake pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libcurl4-openssl-dev libsecret-1-dev
  ffmpeg melt libxml2-utils
  gnome-keyring dbus dbus-x11 libsecret-tools
  xvfb xauth
  fonts-noto-color-emoji fonts-dejavu-core
  coreutils openssl
  parallel jq
  qt6-multimedia-dev libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "error: need root or sudo to install: ${missing[*]}" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
