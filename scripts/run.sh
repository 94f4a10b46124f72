#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor under Wine with the given file(s) as its command line.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" --target pilka2
source "$ROOT/scripts/env.sh"
pilka_start_display
args=()
for a in "$@"; do
    if [ -e "$a" ]; then args+=("$(winepath -w "$(readlink -f "$a")")"); else args+=("$a"); fi
done
exec wine "$ROOT/build/pilka2.exe" "${args[@]}"
