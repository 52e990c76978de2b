#!/usr/bin/env bash
# Builds grindvakt.exe and the start-up benchmark, and runs it under Wine on a
# private prefix and Xvfb: the median time until grindvakt's login window is
# visible, the same for a minimal one-window program, plain and with grindvakt's
# manifest, and grindvakt's ratio to each.
# Usage: scripts/bench-startup.sh [RUNS]   (21 starts of each by default)
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${1:-21}

gv_install_deps
gv_build_windows

gv_private_wine bench 96
work=$GV_WORK

build="$GV_BUILD/windows"
gv_log "timing $runs starts of each program"
status=0
# Wine's output goes to a file: its services would hold a pipe open.
wine "$build/bench/startup/gv_startup_bench.exe" "$(winepath -w "$build/grindvakt.exe")" \
    "$(winepath -w "$build/bench/startup/minimal.exe")" \
    "$(winepath -w "$build/bench/startup/minimal-manifest.exe")" "$runs" >"$work/out" 2>&1 </dev/null || status=$?
cat "$work/out"
exit $status
