#!/usr/bin/env bash
# Installs what is missing, builds grindvakt.exe and starts it under Wine: on
# $DISPLAY when there is one, otherwise on a private Xvfb with a screenshot.
set -euo pipefail
source "$(dirname "$0")/common.sh"

gv_install_deps
gv_build_windows

prefix="$GV_BUILD/wineprefix"
if [ ! -f "$prefix/system.reg" ]; then
    gv_log "preparing the Wine prefix $prefix (once)"
    gv_make_prefix "$prefix" 96
fi
export WINEPREFIX="$prefix"
exe="$GV_BUILD/windows/grindvakt.exe"

if [ -n "${DISPLAY:-}" ]; then
    gv_log "starting $exe on $DISPLAY"
    exec wine "$exe"
fi

gv_start_xvfb
wine "$exe" >/dev/null 2>&1 &
wine_pid=$!
shot="$GV_BUILD/grindvakt-screen.png"
for _ in $(seq 1 60); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Logga in"'; then
        break
    fi
    sleep 0.5
done
sleep 0.5
import -window root "$shot"
cat <<TXT
Grindvakt is running under Wine on the private display $DISPLAY (Xvfb pid $GV_XVFB_PID).
  Screenshot of the screen:  $shot
  Another screenshot:        DISPLAY=$DISPLAY import -window root shot.png
  Look at it live:           apt-get install x11vnc; x11vnc -display $DISPLAY, then a VNC viewer
  Stop it:                   kill $wine_pid; WINEPREFIX=$prefix wineserver -k; kill $GV_XVFB_PID
TXT
