#!/usr/bin/env bash
# Takes screenshots of every window under a private Xvfb and stores them as PNG
# in docs/ (the end-to-end tests save them when GV_SHOTS names a folder).
# Usage: scripts/screenshots.sh [DPI]   (96 by default; other DPIs get a suffix)
set -euo pipefail
source "$(dirname "$0")/common.sh"
dpi=${1:-96}

gv_install_deps
gv_build_windows

gv_private_wine shots "$dpi"
work=$GV_WORK
mkdir -p "$work/shots"
export GV_SHOTS
GV_SHOTS=$(WINEPREFIX="$work/prefix" winepath -w "$work/shots")
export GV_EXE
GV_EXE=$(winepath -w "$GV_BUILD/windows/grindvakt.exe")
# The UTF-8 cases need their own locale (ctest gives it them), and the installer's
# walk its packages (scripts/check-msi.sh); they take no pictures.
wine "$GV_BUILD/windows/tests/e2e/gv_e2e_tests.exe" --gtest_filter=-*Utf8CodePage*:Installer.* >"$work/log" 2>&1 || {
    cat "$work/log"
    exit 1
}
suffix=""
[ "$dpi" = 96 ] || suffix="-$dpi"
mkdir -p "$GV_ROOT/docs"
for bmp in "$work"/shots/*.bmp; do
    name=$(basename "$bmp" .bmp)
    convert "$bmp" "$GV_ROOT/docs/$name$suffix.png"
    echo "docs/$name$suffix.png"
done
