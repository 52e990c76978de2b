#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through ctest:
# native unit tests, Windows-side tests under Wine, end-to-end tests under Wine + Xvfb.
set -euo pipefail
source "$(dirname "$0")/common.sh"

gv_install_deps
gv_build_windows
gv_build_native

work=$(mktemp -d /tmp/grindvakt-test.XXXXXX)
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    gv_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

gv_log "preparing a private Wine prefix and Xvfb"
gv_make_prefix "$work/prefix" 96
export WINEPREFIX="$work/prefix"
gv_start_xvfb
gv_log "Xvfb on $DISPLAY (pid $GV_XVFB_PID)"
wineserver -p  # keep the server up between the test programs
wine cmd /c exit </dev/null >/dev/null 2>&1  # starts Wine's services once, away from ctest

cd "$GV_BUILD/native"
ctest --output-on-failure -j2 "$@"
