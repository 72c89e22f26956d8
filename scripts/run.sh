#!/usr/bin/env bash
# Installs what is missing, builds, and opens the studio on the demo workspace.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh

# The demo is made on first use and left as the user changes it afterwards.
workspace=$(build/bin/tessaryn-demo)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display available (DISPLAY and WAYLAND_DISPLAY are unset): running the self-test instead of opening the studio."
  QT_QPA_PLATFORM=offscreen exec build/bin/tessaryn --self-test "$workspace"
fi

echo "Opening the studio on $workspace"
exec build/bin/tessaryn "$workspace"
