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

# Starts Xvfb unless a display is already usable. Xvfb picks a free display number itself (-displayfd) and names
# it once it accepts connections, so neither a stale socket nor another server on a fixed number gets in the way.
# PILKA_DISPLAY asks for one number instead (an existing server there is reused).
pilka_display_works() {
    xdotool getdisplaygeometry >/dev/null 2>&1
}
pilka_start_display() {
    if [ -n "${DISPLAY:-}" ] && pilka_display_works; then return 0; fi
    if [ -n "${PILKA_DISPLAY:-}" ]; then
        export DISPLAY=":$PILKA_DISPLAY"
        pilka_display_works && return 0
    fi
    mkdir -p "$PILKA_ROOT/build"
    local log="$PILKA_ROOT/build/xvfb.log" numfile="$PILKA_ROOT/build/xvfb.display"
    : >"$numfile"
    # shellcheck disable=SC2086
    Xvfb ${PILKA_DISPLAY:+:$PILKA_DISPLAY} -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp \
        3>"$numfile" >"$log" 2>&1 </dev/null &
    PILKA_XVFB_PID=$!
    for _ in $(seq 300); do
        grep -q '[0-9]' "$numfile" && break
        kill -0 "$PILKA_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if grep -q '[0-9]' "$numfile"; then
        export DISPLAY=":$(tr -dc '0-9' <"$numfile")"
        pilka_display_works && return 0
    fi
    echo "setup: no X display could be started; Xvfb said:" >&2
    cat "$log" >&2 || true
    ls -la /tmp/.X11-unix >&2 2>/dev/null || true
    return 1
}

# The tests' graphics driver: X11 normally; Wine's null driver where no X server can run at all. On the null driver
# windows exist and messages flow but nothing reaches a screen, so the tests that read screen pixels skip themselves
# (PILKA_NO_SCREEN=1). The choice is kept in the prefix; a marker file says the null driver is set.
pilka_select_graphics() {
    local marker="$WINEPREFIX/.pilka-null-graphics"
    if [ "$1" = null ]; then
        export PILKA_NO_SCREEN=1
        [ -f "$marker" ] && return 0
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
        touch "$marker"
    else
        unset PILKA_NO_SCREEN
        [ -f "$marker" ] || return 0
        wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f </dev/null >/dev/null 2>&1 || true
        rm -f "$marker"
    fi
}

# Keeps one wineserver alive so that each Wine process starts in milliseconds.
# Wine's own services start with the first program; they are started here with their output going nowhere, so
# that they do not hold a test runner's output pipe open after the tests end.
pilka_start_wineserver() {
    wineserver -p >/dev/null 2>&1 || true
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# Prepares the prefix: Wine's first start, then the font replacements, written as a UTF-16LE .reg file since a
# console "reg add" mangles non-ASCII value names. The faces the program and Wine's interface ask for resolve to the
# IPA Gothic fonts, whose metrics match the Japanese system fonts, so every label holds its text as on Windows; the
# stamp's number is raised whenever these settings change, and older prefixes are brought up to date.
PILKA_PREFIX_VERSION=2
pilka_prepare_prefix() {
    local stamp="$WINEPREFIX/.pilka-ready"
    [ "$(cat "$stamp" 2>/dev/null)" = "$PILKA_PREFIX_VERSION" ] && return 0
    echo "setup: preparing the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
    local reg_utf8="$WINEPREFIX/settings.reg.txt" face
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for face in "MS UI Gothic" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "ＭＳ Ｐゴシック" "MS PGothic" \
                    "BIZ UDPゴシック" "BIZ UDPGothic" "Meiryo" "メイリオ" "Yu Gothic UI" "Segoe UI" "Arial" \
                    "Microsoft Sans Serif"; do
            printf '"%s"="IPAPGothic"\r\n' "$face"
        done
        for face in "ＭＳ ゴシック" "MS Gothic"; do
            printf '"%s"="IPAGothic"\r\n' "$face"
        done
        if [ "${PILKA_HEADLESS:-0}" = 1 ]; then
            printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
        fi
    } >"$reg_utf8"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg_utf8"; } >"$WINEPREFIX/settings.reg"
    wine regedit /S "$(winepath -w "$WINEPREFIX/settings.reg" 2>/dev/null)" >/dev/null 2>&1 || true
    wineserver -k >/dev/null 2>&1 || true
    echo "$PILKA_PREFIX_VERSION" >"$stamp"
}

# The scaling tests run once more in a prefix whose screen has 192 DPI (test_dpi_192). It is a copy of the
# prepared test prefix with another LogPixels: copying takes about a second, where a new prefix would take Wine's
# whole first start. The copy is made again when the test prefix or its graphics driver changes.
PILKA_DPI_PREFIX="$PILKA_ROOT/build/wine-test-192"
pilka_prepare_dpi_prefix() {
    local stamp="$PILKA_PREFIX_VERSION 192 ${PILKA_NO_SCREEN:-0}"
    [ "$(cat "$PILKA_DPI_PREFIX/.pilka-dpi-ready" 2>/dev/null)" = "$stamp" ] && return 0
    echo "setup: preparing the 192 DPI Wine prefix in $PILKA_DPI_PREFIX"
    wineserver -k >/dev/null 2>&1 || true  # the test prefix's registry is written out before it is copied
    rm -rf "$PILKA_DPI_PREFIX"
    cp -a "$WINEPREFIX" "$PILKA_DPI_PREFIX"
    WINEPREFIX="$PILKA_DPI_PREFIX" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f \
        </dev/null >/dev/null 2>&1
    WINEPREFIX="$PILKA_DPI_PREFIX" wineserver -k >/dev/null 2>&1 || true
    echo "$stamp" >"$PILKA_DPI_PREFIX/.pilka-dpi-ready"
}
