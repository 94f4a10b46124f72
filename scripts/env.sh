# Sourced by the other scripts: the project's Wine prefix, a display, and one persistent wineserver.
PILKA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Tests and benchmarks run in a prefix of their own (PILKA_HEADLESS=1), in which Wine manages no windows: with no
# window manager on the bare display, hiding a managed window would wait two seconds for one each time.
if [ "${PILKA_HEADLESS:-0}" = 1 ]; then
    export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$PILKA_ROOT/build/wine-test}"
else
    export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$PILKA_ROOT/build/wine}"
fi
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

# Creates the prefix once: Wine's first start, then the font replacements (the faces the program and Wine's
# interface ask for resolve to the Japanese font), written as a UTF-16LE .reg file since a console "reg add"
# mangles non-ASCII value names.
pilka_prepare_prefix() {
    [ -f "$WINEPREFIX/.pilka-ready" ] && return 0
    echo "setup: preparing the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    local reg_utf8="$WINEPREFIX/settings.reg.txt"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for face in "MS UI Gothic" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "ＭＳ Ｐゴシック" "ＭＳ ゴシック" \
                    "MS PGothic" "MS Gothic" "BIZ UDPゴシック" "BIZ UDPGothic" "Meiryo" "メイリオ" "Yu Gothic UI" \
                    "Segoe UI" "Arial" "Microsoft Sans Serif"; do
            printf '"%s"="Noto Sans CJK JP"\r\n' "$face"
        done
        if [ "${PILKA_HEADLESS:-0}" = 1 ]; then
            printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
        fi
    } >"$reg_utf8"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg_utf8"; } >"$WINEPREFIX/settings.reg"
    wine regedit /S "$(winepath -w "$WINEPREFIX/settings.reg" 2>/dev/null)" >/dev/null 2>&1 || true
    wineserver -k >/dev/null 2>&1 || true
    touch "$WINEPREFIX/.pilka-ready"
}
