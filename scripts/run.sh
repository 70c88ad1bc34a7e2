#!/usr/bin/env bash
# Builds Quenvix and starts it under Wine, on $DISPLAY or on a virtual X server.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$QUENVIX_ROOT"

ensure_packages
build_win64

if [ -z "${DISPLAY:-}" ]; then
    start_xvfb
    echo "== no DISPLAY: Quenvix runs on the virtual X server $DISPLAY."
    echo "   Look at it with: DISPLAY=$DISPLAY import -window root /tmp/quenvix.png"
fi
export WINEPREFIX="${WINEPREFIX:-$HOME/.quenvix-wine}"
if [ ! -d "$WINEPREFIX" ]; then
    mkdir -p "$WINEPREFIX"
    cp -a "$(ensure_wine_template)/." "$WINEPREFIX/"
fi
echo "== starting Quenvix (WINEPREFIX=$WINEPREFIX); it sits in the taskbar's notification area"
exec wine explorer /desktop=shell,1024x768 "$QUENVIX_ROOT/build/win64/quenvix.exe"
