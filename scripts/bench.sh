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
# The folder of 100,000 files the panel and list benchmarks share, made here once: Wine makes files in a big folder
# slowly (each new name is checked against all the others), the Linux side in seconds. The names and sizes are the
# ones the benchmarks would make themselves.
make_big_folder() {
    local temp dir
    temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
    dir="$(winepath -u "$temp" 2>/dev/null)/pilka_bench_100k"
    [ -n "$temp" ] && [ -d "$(dirname "$dir")" ] || return 0
    [ -e "$dir/file_099999" ] && return 0
    echo "bench: making $dir" >&2
    mkdir -p "$dir"
    perl -e 'my @t = (".txt", ".rtf", ".csv", ".log", "");
        for my $i (0 .. 99999) {
            my $f = sprintf("%s/file_%06d%s", $ARGV[0], $i, $t[$i % 5]);
            open(my $h, ">", $f) or die "$f: $!"; print $h "x" x (($i % 7) * 300); close($h);
        }' "$dir"
}
make_big_folder
cd "$ROOT/build"
PILKA_EXE="$ROOT/build/pilka2.exe" wine ./pilka_bench.exe "$@" | tr -d '\r'
