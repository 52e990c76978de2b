#!/usr/bin/env bash
# Checks the installer the build made. Its tables say what Windows will do, where
# Wine does otherwise (a per-machine install, Program Files, all users' Start
# menu, the fixed upgrade code, Swedish); two builds are the same bytes, and
# another version gets other codes; and under Wine a silent install, a run from
# Program Files, an upgrade to a newer package built here, a refused downgrade
# and a silent removal (tests/e2e/installer_walk.cpp), in a Wine prefix of its own.
# Usage: scripts/check-msi.sh BUILD_DIR MSI VERSION   (BUILD_DIR: the Windows tree,
# MSI: the installer it made; DISPLAY as scripts/test.sh sets it)
set -euo pipefail
source "$(dirname "$0")/common.sh"
root=$GV_ROOT
build=${1:?name the Windows build folder}
msi=${2:?name the installer}
version=${3:?name the version, such as 1.0.0}
python=/usr/bin/python3
# Every version's package carries this code, or an upgrade leaves the old one beside it.
upgrade_code="{C2F3E0A1-8B7D-4E6C-9A5F-1D2E3F4A5B6C}"

IFS=. read -r major minor patch <<<"$version"
[ -f "$msi" ] || { echo "FAIL: no installer at $msi"; exit 1; }
work=$(mktemp -d /tmp/grindvakt-msi.XXXXXX)
trap 'gv_release_desktops; WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# table NAME: its rows, tab-separated, without the three header lines.
table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
property() { table "$1" Property | awk -F'\t' -v k="$2" '$1 == k { print $2 }'; }
summary() { msiinfo suminfo "$1" | sed -n "s/^$2: //p"; }

echo "== the tables of $msi"
[ "$(property "$msi" ALLUSERS)" = 1 ] || fail "ALLUSERS is not 1: no per-machine install"
[ "$(property "$msi" UpgradeCode)" = "$upgrade_code" ] || fail "the upgrade code is not $upgrade_code"
[ "$(property "$msi" ProductVersion)" = "$version" ] || fail "ProductVersion is not $version"
[ "$(summary "$msi" Template)" = "x64;1053" ] || fail "the summary does not say x64;1053"
table "$msi" Directory | grep -qxP 'INSTALLDIR\tProgramFiles64Folder\tGrindvakt' ||
    fail "the program does not go to Program Files\\Grindvakt"
table "$msi" Shortcut | grep -qP '^\w+\tProgramMenuFolder\tGrindvakt\t\w+\t\[#grindvakt\.exe\]\t' ||
    fail "no Start-menu shortcut to grindvakt.exe"
[ "$(table "$msi" File | cut -f3 | LC_ALL=C sort | paste -sd' ')" = "LÄSMIG.txt grindvakt.exe" ] ||
    fail "the files are not grindvakt.exe and LÄSMIG.txt"
icon=$(property "$msi" ARPPRODUCTICON)
[ -n "$icon" ] && table "$msi" Icon | cut -f1 | grep -qx "$icon" || fail "no icon for Apps & features"

echo "== two builds, and another version"
build_msi() {
    "$python" "$root/scripts/build-msi.py" --version "$1" --exe "$build/grindvakt.exe" \
        --readme "$build/release/LASMIG.txt" --icon "$root/resources/grindvakt.ico" --out "$2" >/dev/null
}
# Two builds of this commit; the build's own may carry an older commit's date.
build_msi "$version" "$work/once.msi"
sleep 1
build_msi "$version" "$work/again.msi"
cmp -s "$work/once.msi" "$work/again.msi" ||
    fail "a second build differs ($(cmp -l "$work/once.msi" "$work/again.msi" | wc -l) bytes)"
newer_version=$major.$((minor + 1)).$patch
build_msi "$newer_version" "$work/newer.msi"
[ "$(property "$work/newer.msi" UpgradeCode)" = "$upgrade_code" ] || fail "the newer package has another upgrade code"
[ "$(property "$work/newer.msi" ProductCode)" != "$(property "$msi" ProductCode)" ] ||
    fail "the newer version keeps the product code"
[ "$(summary "$work/newer.msi" 'Revision number (UUID)')" != "$(summary "$msi" 'Revision number (UUID)')" ] ||
    fail "the newer package keeps the package code"
sha256sum "$msi"

echo "== install, use, upgrade, downgrade and removal under Wine"
gv_make_prefix "$work/prefix" 96
export WINEPREFIX="$work/prefix"
wineserver -p
gv_hold_desktop
wine cmd /c exit </dev/null >/dev/null 2>&1
windows() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }
out=$(GV_EXE=$(windows "$build/grindvakt.exe") GV_EXPECT_DPI=96 \
    GV_MSI=$(windows "$msi") GV_MSI_VERSION=$version \
    GV_MSI_NEWER=$(windows "$work/newer.msi") GV_MSI_NEWER_VERSION=$newer_version \
    bash "$root/scripts/wine-run.sh" "$build/tests/e2e/gv_e2e_tests.exe" --gtest_filter='Installer.*') ||
    fail "the install walk"
echo "$out"
# A filter that matches nothing passes in GoogleTest.
grep -q '^\[  PASSED  \] 1 test' <<<"$out" || fail "the install walk did not pass"
exit $status
