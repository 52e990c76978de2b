#!/usr/bin/env bash
# Builds grindvakt.exe and the start-up benchmark, and runs it under Wine on a
# private prefix and Xvfb: the median time until grindvakt's login window is
# visible, the same for a minimal one-window program, and their ratio.
# Usage: scripts/bench-startup.sh [RUNS]   (21 starts of each by default)
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${1:-21}

gv_install_deps
gv_build_windows

work=$(mktemp -d /tmp/grindvakt-bench.XXXXXX)
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
wineserver -p  # one server for all the starts, as in a session on Windows
wine cmd /c exit </dev/null >/dev/null 2>&1  # Wine's services start here, not in the first timed run

build="$GV_BUILD/windows"
gv_log "timing $runs starts of each program"
status=0
# Wine's output goes to a file: its services would hold a pipe open.
wine "$build/bench/startup/gv_startup_bench.exe" "$(winepath -w "$build/grindvakt.exe")" \
    "$(winepath -w "$build/bench/startup/minimal.exe")" "$runs" >"$work/out" 2>&1 </dev/null || status=$?
cat "$work/out"
exit $status
