#!/usr/bin/env bash
# Runs a Windows test program that opens windows: under Wine, in the window tests' own Wine
# root, inside a private X server.
#   gui_test.sh WINE_RUN WINE_ROOT PROGRAM [ARGS...]
set -u
wine_run=$1 wine_root=$2; shift 2
. "$(dirname "$0")/gui_prefix.sh"
work=$(mktemp -d)
stop() {
    WINEPREFIX="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}" wineserver -k 2>/dev/null
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
start_xvfb "$work" || { echo "gui_test: no X server"; exit 1; }
prepare_gui_prefix "$wine_run" "$wine_root" || { echo "gui_test: the Wine prefix could not be prepared"; exit 1; }
"$wine_run" --root "$wine_root" "$@"
