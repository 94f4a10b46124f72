#!/usr/bin/env bash
# Installs what the build and the Wine runs need on a Debian machine, then prepares the project's Wine prefix.
# Safe to run again: it only does what is missing.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

need=()
for pkg in g++-mingw-w64-x86-64-posix cmake ninja-build wine wine64 xvfb xdotool locales googletest fonts-ipafont-gothic \
           fonts-noto-cjk; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi

# The Japanese locale makes Wine's ANSI code page 932, as on a Japanese Windows.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi

source "$ROOT/scripts/env.sh"
pilka_prepare_prefix
