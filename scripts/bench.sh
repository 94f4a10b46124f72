#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints lines of the form "name: value unit".
set -euo pipefail
export PILKA_HEADLESS=1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/env.sh"
unset DISPLAY
if pilka_start_display; then
    pilka_select_graphics x11
else
    echo "setup: going on with Wine's null display driver; tests that read the screen are skipped" >&2
    pilka_select_graphics null
fi
pilka_start_wineserver
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${PILKA_XVFB_PID:-}" ] && kill "$PILKA_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
cd "$ROOT/build"
PILKA_EXE="$ROOT/build/pilka2.exe" wine ./pilka_bench.exe "$@" | tr -d '\r'
