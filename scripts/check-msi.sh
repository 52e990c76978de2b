#!/usr/bin/env bash
# Checks the installer the build made. Its name carries the whole version; its
# tables say what Windows will do, where Wine does otherwise (a per-machine
# install, Program Files, all users' Start menu with the program and the read-me,
# the fixed upgrade code, Swedish, code page 1252); two builds are the same bytes,
# and other content or another version gets other codes. With a throwaway CA made
# here, the exe and a package around it are signed (scripts/sign.sh), verify, and
# the signed exe passes check-exe.sh and is the build's exe once its signature is
# removed. Under Wine (tests/e2e/installer_walk.cpp, in a Wine prefix of its own):
# a silent install of the signed package, a run from Program Files, the build's
# package of the same version replacing it, an upgrade to a newer package built
# here, a refused downgrade and a silent removal.
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

# table PKG NAME: its rows, tab-separated, without the three header lines. A table
# of streams (Icon) is written out as files too: in the work folder.
table() { (cd "$work" && msiinfo export "$(realpath "$1")" "$2") | tr -d '\r' | tail -n +4; }
property() { table "$1" Property | awk -F'\t' -v k="$2" '$1 == k { print $2 }'; }
summary() { msiinfo suminfo "$1" | sed -n "s/^$2: //p"; }

echo "== the tables of $msi"
[ "$(basename "$msi")" = "grindvakt-$version-win64.msi" ] ||
    fail "the name $(basename "$msi") does not carry the version $version"
codepage=$(msiinfo export "$msi" _ForceCodepage | tr -d '\r\0' | tail -n 1 | cut -f1)
echo "code page: $codepage"
[ "$codepage" = 1252 ] || fail "the code page is $codepage, not 1252: other Windows misread the Swedish texts"
[ "$(property "$msi" ALLUSERS)" = 1 ] || fail "ALLUSERS is not 1: no per-machine install"
[ "$(property "$msi" UpgradeCode)" = "$upgrade_code" ] || fail "the upgrade code is not $upgrade_code"
[ "$(property "$msi" ProductVersion)" = "$version" ] || fail "ProductVersion is not $version"
[ "$(summary "$msi" Template)" = "x64;1053" ] || fail "the summary does not say x64;1053"
table "$msi" Directory | grep -qxP 'INSTALLDIR\tProgramFiles64Folder\tGrindvakt' ||
    fail "the program does not go to Program Files\\Grindvakt"
menu=$(table "$msi" Shortcut | awk -F'\t' '$2 == "ProgramMenuFolder" { print $3 " " $5 }')
[ "$(LC_ALL=C sort <<<"$menu" | paste -sd'|')" = "Grindvakt [#grindvakt.exe]|Grindvakt – Läs mig [#LASMIG.txt]" ] ||
    fail "the Start menu does not hold shortcuts to grindvakt.exe and LÄSMIG.txt"
[ "$(table "$msi" File | cut -f3 | LC_ALL=C sort | paste -sd' ')" = "LÄSMIG.txt grindvakt.exe" ] ||
    fail "the files are not grindvakt.exe and LÄSMIG.txt"
icon=$(property "$msi" ARPPRODUCTICON)
[ -n "$icon" ] && table "$msi" Icon | cut -f1 | grep -qx "$icon" || fail "no icon for Apps & features"

echo "== two builds, and another version"
build_msi() { # VERSION EXE OUT
    "$python" "$root/scripts/build-msi.py" --version "$1" --exe "$2" \
        --readme "$build/release/LASMIG.txt" --icon "$root/resources/grindvakt.ico" --out "$3" >/dev/null
}
# Two builds of this commit; the build's own may carry an older commit's date.
build_msi "$version" "$build/grindvakt.exe" "$work/once.msi"
sleep 1
build_msi "$version" "$build/grindvakt.exe" "$work/again.msi"
sha256sum "$msi" "$work/once.msi" "$work/again.msi"
cmp -s "$work/once.msi" "$work/again.msi" ||
    fail "a second build differs ($(cmp -l "$work/once.msi" "$work/again.msi" | wc -l) bytes)"
newer_version=$major.$minor.$((patch + 1))
build_msi "$newer_version" "$build/grindvakt.exe" "$work/newer.msi"
[ "$(property "$work/newer.msi" UpgradeCode)" = "$upgrade_code" ] || fail "the newer package has another upgrade code"
[ "$(property "$work/newer.msi" ProductCode)" != "$(property "$msi" ProductCode)" ] ||
    fail "the newer version keeps the product code"
[ "$(summary "$work/newer.msi" 'Revision number (UUID)')" != "$(summary "$msi" 'Revision number (UUID)')" ] ||
    fail "the newer package keeps the package code"

echo "== signed with a throwaway CA"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
    -subj "/CN=Grindvakt test CA" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.csr" -subj "/CN=Grindvakt test" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >"$work/ext"
openssl x509 -req -in "$work/sign.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
    -out "$work/sign.pem" -days 2 -extfile "$work/ext" 2>/dev/null
# The exe with a PKCS#12 file and its password, the package with PEM files.
password=$RANDOM$RANDOM
GV_SIGN_PASSWORD=$password openssl pkcs12 -export -in "$work/sign.pem" -inkey "$work/sign.key" \
    -certfile "$work/ca.pem" -out "$work/sign.pfx" -passout env:GV_SIGN_PASSWORD
signed=$work/signed/grindvakt.exe
mkdir "$work/signed"
GV_SIGN_PFX=$work/sign.pfx GV_SIGN_PASSWORD=$password \
    bash "$root/scripts/sign.sh" "$build/grindvakt.exe" "$signed"
bash "$root/scripts/check-exe.sh" "$signed" || fail "the signed exe fails its checks"
osslsigncode remove-signature -in "$signed" -out "$work/signed/removed.exe" >/dev/null
cmp -s "$build/grindvakt.exe" "$work/signed/removed.exe" ||
    fail "the signed exe without its signature differs from the build's"
build_msi "$version" "$signed" "$work/signed/unsigned.msi"
GV_SIGN_CERT=$work/sign.pem GV_SIGN_KEY=$work/sign.key \
    bash "$root/scripts/sign.sh" "$work/signed/unsigned.msi" "$work/signed.msi"
for file in "$signed" "$work/signed.msi"; do
    osslsigncode verify -CAfile "$work/ca.pem" -in "$file" >/dev/null 2>&1 ||
        fail "the signature of $(basename "$file") does not verify"
done
# Other content under the same version: another product, which the walk shows replacing this one.
[ "$(property "$work/signed.msi" ProductCode)" != "$(property "$msi" ProductCode)" ] ||
    fail "a package with other content keeps the product code"

echo "== install, use, upgrade, downgrade and removal under Wine"
gv_make_prefix "$work/prefix" 96
export WINEPREFIX="$work/prefix"
wineserver -p
gv_hold_desktop
wine cmd /c exit </dev/null >/dev/null 2>&1
windows() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }
out=$(GV_EXE=$(windows "$build/grindvakt.exe") GV_EXPECT_DPI=96 \
    GV_MSI_SIGNED=$(windows "$work/signed.msi") GV_MSI=$(windows "$msi") GV_MSI_VERSION=$version \
    GV_MSI_NEWER=$(windows "$work/newer.msi") GV_MSI_NEWER_VERSION=$newer_version \
    bash "$root/scripts/wine-run.sh" "$build/tests/e2e/gv_e2e_tests.exe" --gtest_filter='Installer.*') ||
    fail "the install walk"
echo "$out"
# A filter that matches nothing passes in GoogleTest.
grep -q '^\[  PASSED  \] 1 test' <<<"$out" || fail "the install walk did not pass"
exit $status
