#!/usr/bin/env bash
# Installs what is missing, builds grindvakt.exe and its installer, checks the
# exe, and writes dist/grindvakt-VERSION-win64.zip (the exe and its Swedish
# read-me) and dist/grindvakt-VERSION-win64.msi (the installer,
# scripts/build-msi.py), named with the whole version (1.0.0). The version and the
# read-me come from the build, which configures both from project(VERSION). Both
# are reproducible: the zip has a fixed member order, and every member and the
# installer are dated SOURCE_DATE_EPOCH (by default the last commit's time) in UTC.
# Given a certificate (GV_SIGN_PFX, or GV_SIGN_CERT and GV_SIGN_KEY; see
# scripts/sign.sh), it signs the exe before it goes into the zip and the
# installer, and then the installer; without one the release is unsigned, and it
# says so. Prints the SHA-256 of the exe, the zip and the installer, and the
# installer's product code and upgrade code.
set -euo pipefail
source "$(dirname "$0")/common.sh"

gv_install_deps
# Before the build, which dates the installer too.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$GV_ROOT" log -1 --format=%ct 2>/dev/null || echo 1704067200)
fi
export SOURCE_DATE_EPOCH
# Made anew, so it carries this commit's date even where nothing else changed.
rm -f "$GV_BUILD/windows"/grindvakt-*-win64.msi
gv_build_windows

# The build names the installer; the zip takes the same name.
built=("$GV_BUILD/windows"/grindvakt-*-win64.msi)
[ ${#built[@]} = 1 ] && [ -f "${built[0]}" ] ||
    { echo "no single installer in $GV_BUILD/windows: is wixl installed?" >&2; exit 1; }
name=$(basename "${built[0]}" .msi)
version=${name#grindvakt-}
version=${version%-win64}
exe="$GV_BUILD/windows/grindvakt.exe"
gv_log "checking $exe"
bash "$GV_ROOT/scripts/check-exe.sh" "$exe"

mkdir -p "$GV_ROOT/dist"
zip="$GV_ROOT/dist/$name.zip"
msi="$GV_ROOT/dist/$name.msi"
rm -f "$zip" "$msi"
if [ -n "${GV_SIGN_PFX:-}${GV_SIGN_CERT:-}${GV_SIGN_KEY:-}" ]; then
    signed="$GV_BUILD/windows/signed"
    rm -rf "$signed"
    mkdir -p "$signed"
    gv_log "signing $exe"
    bash "$GV_ROOT/scripts/sign.sh" "$exe" "$signed/grindvakt.exe"
    exe="$signed/grindvakt.exe"
    bash "$GV_ROOT/scripts/check-exe.sh" "$exe"
    # The installer again, around the signed exe, then signed itself.
    /usr/bin/python3 "$GV_ROOT/scripts/build-msi.py" --version "$version" --exe "$exe" \
        --readme "$GV_BUILD/windows/release/LASMIG.txt" --icon "$GV_ROOT/resources/grindvakt.ico" \
        --out "$signed/$name.msi" >/dev/null
    gv_log "signing the installer"
    bash "$GV_ROOT/scripts/sign.sh" "$signed/$name.msi" "$msi"
    signing="signed with ${GV_SIGN_PFX:-$GV_SIGN_CERT}"
else
    gv_log "no certificate given (GV_SIGN_PFX, or GV_SIGN_CERT and GV_SIGN_KEY): an unsigned release"
    cp "${built[0]}" "$msi"
    signing="unsigned"
fi

python3 - "$exe" "$GV_BUILD/windows/release/LASMIG.txt" "$zip" <<'PY'
import binascii
import os
import struct
import sys
import time
import zipfile

exe, readme, out = sys.argv[1:]
README_NAME = "LÄSMIG.txt"


class OemNamedEntry(zipfile.ZipInfo):
    # Explorer reads names without the UTF-8 flag in the OEM code page; Ä has the
    # same byte in 437 and in the Nordic 850 and 865.
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp437"), self.flag_bits


def unicode_path_field(name):
    # The Info-ZIP Unicode Path field: the exact name for unpackers that read it.
    body = struct.pack("<BI", 1, binascii.crc32(name.encode("cp437"))) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(body)) + body


def entry(name, mode, stamp):
    info = OemNamedEntry(name, date_time=stamp)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = mode << 16
    if not name.isascii():
        info.extra = unicode_path_field(name)
    return info


# A zip holds local times without a zone: UTC, and never before 1980.
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
# The build wrote it as shipped: a byte-order mark and CRLF.
with open(readme, "rb") as f:
    readme_bytes = f.read()
if not readme_bytes.startswith(b"\xef\xbb\xbf") or b"\n" in readme_bytes.replace(b"\r\n", b""):
    sys.exit(f"{readme}: not the shipped form (a byte-order mark and CRLF)")
with open(exe, "rb") as f:
    exe_bytes = f.read()

with zipfile.ZipFile(out, "w") as z:
    z.writestr(entry("grindvakt.exe", 0o755, stamp), exe_bytes)
    z.writestr(entry(README_NAME, 0o644, stamp), readme_bytes)

# Read back what an unpacker will see.
with zipfile.ZipFile(out) as z:
    if z.testzip() is not None:
        sys.exit(f"{out}: a member does not match its checksum")
    names = z.namelist()
    if names != ["grindvakt.exe", README_NAME]:
        sys.exit(f"{out}: unexpected members {names}")
    if z.read("grindvakt.exe") != exe_bytes or z.read(README_NAME) != readme_bytes:
        sys.exit(f"{out}: a member differs from its source")
    for info in z.infolist():
        print(f"{info.file_size:10d}  {info.filename}")
PY
gv_log "wrote $zip and $msi ($signing)"
sha256sum "$exe" "$zip" "$msi"
# For detection rules and silent removals.
property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v k="$1" '$1 == k { print $2 }'; }
echo "product code: $(property ProductCode)"
echo "upgrade code: $(property UpgradeCode)"
