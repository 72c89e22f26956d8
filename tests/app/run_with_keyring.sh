#!/bin/sh
# Runs a test against a private GNOME Keyring on a private session bus, with HOME and the XDG
# folders in a temporary folder, so the user's own keyring, settings and home are never touched.
# Usage: run_with_keyring.sh <test executable> [arguments...]
set -eu

for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaryn-keyring.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"

export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL GEMINI_API_KEY

# The daemon runs in the foreground of the session so this script stops it by its own pid. The
# throwaway password creates and unlocks a fresh login keyring (an empty one leaves none).
dbus-run-session -- sh -c '
    printf "tessaryn-test" | gnome-keyring-daemon --foreground --unlock --components=secrets \
        >"$0/keyring.log" 2>&1 &
    daemon=$!
    ready=no
    for _ in $(seq 1 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q "boolean true"; then
            ready=yes
            break
        fi
        sleep 0.1
    done
    if [ "$ready" != yes ]; then
        echo "gnome-keyring-daemon did not start:"
        cat "$0/keyring.log"
        kill "$daemon" 2>/dev/null || true
        exit 1
    fi
    status=0
    TESSARYN_TEST_KEYRING_BUS="$DBUS_SESSION_BUS_ADDRESS" "$@" || status=$?
    kill "$daemon" 2>/dev/null || true
    wait "$daemon" 2>/dev/null || true
    exit "$status"
' "$scratch" "$@"
