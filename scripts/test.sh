#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through ctest:
# native unit tests, Windows-side tests under Wine, end-to-end tests under Wine + Xvfb.
set -euo pipefail
source "$(dirname "$0")/common.sh"

gv_install_deps
gv_build_windows
gv_build_fuzz
gv_build_native

work=$(mktemp -d /tmp/grindvakt-test.XXXXXX)
cleanup() {
    gv_release_desktops
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$work/prefix144" wineserver -k 2>/dev/null || true
    WINEPREFIX="$work/prefix120" wineserver -k 2>/dev/null || true
    gv_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

gv_log "preparing private Wine prefixes (96, 120 and 144 DPI) and Xvfb"
# The layout cases run again at 144 and at 120 DPI (labels e2e144, e2e120) in
# prefixes of their own.
gv_make_prefix "$work/prefix144" 144 &
prefix144=$!
gv_make_prefix "$work/prefix120" 120 &
prefix120=$!
gv_make_prefix "$work/prefix" 96
wait "$prefix144" "$prefix120"
export WINEPREFIX="$work/prefix"
export GV_WINEPREFIX_144="$work/prefix144"
export GV_WINEPREFIX_120="$work/prefix120"
gv_start_xvfb
gv_log "Xvfb on $DISPLAY (pid $GV_XVFB_PID)"
for prefix in "$WINEPREFIX" "$GV_WINEPREFIX_144" "$GV_WINEPREFIX_120"; do
    WINEPREFIX=$prefix wineserver -p  # keep the server up between the test programs
    WINEPREFIX=$prefix gv_hold_desktop
    # Starts Wine's services once, away from ctest.
    WINEPREFIX=$prefix wine cmd /c exit </dev/null >/dev/null 2>&1
done

cd "$GV_BUILD/native"
ctest --output-on-failure -j2 "$@"
