# Sourced by the other scripts: the project's Wine prefix, a display, and one persistent wineserver.
PILKA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$PILKA_ROOT/build/wine}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
mkdir -p "$WINEPREFIX"

# Starts Xvfb on a display of our own unless a display is already usable.
pilka_start_display() {
    if [ -n "${DISPLAY:-}" ]; then return 0; fi
    local n=${PILKA_DISPLAY:-77}
    export DISPLAY=":$n"
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then
        Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
        PILKA_XVFB_PID=$!
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
}

# Keeps one wineserver alive so that each Wine process starts in milliseconds.
# Wine's own services start with the first program; they are started here with their output going nowhere, so
# that they do not hold a test runner's output pipe open after the tests end.
pilka_start_wineserver() {
    wineserver -p >/dev/null 2>&1 || true
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}
