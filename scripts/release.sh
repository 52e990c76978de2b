#!/usr/bin/env bash
# Installs what is missing, builds grindvakt.exe and its installer, checks the
# exe, and writes dist/grindvakt-VERSION-win64.zip (the exe and its Swedish
# read-me) and dist/grindvakt-VERSION-win64.msi (the installer the build made,
# scripts/build-msi.py). The version and the read-me come from the build, which
# configures both from project(VERSION). Both are reproducible: the zip has a
# fixed member order, and every member and the installer are dated
# SOURCE_DATE_EPOCH (by default the last commit's time) in UTC. Prints the
# SHA-256 of the exe, the zip and the installer.
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

exe="$GV_BUILD/windows/grindvakt.exe"
gv_log "checking $exe"
bash "$GV_ROOT/scripts/check-exe.sh" "$exe"

header="$GV_BUILD/windows/generated/gv_version.h"
version=$(sed -n 's/^#define GV_VERSION_TEXT "\([^"]*\)"$/\1/p' "$header")
if [ -z "$version" ]; then
    echo "no GV_VERSION_TEXT in $header" >&2
    exit 1
fi
zip="$GV_ROOT/dist/grindvakt-$version-win64.zip"
msi="$GV_BUILD/windows/grindvakt-$version-win64.msi"
[ -f "$msi" ] || { echo "no installer at $msi: is wixl installed?" >&2; exit 1; }
mkdir -p "$GV_ROOT/dist"
rm -f "$zip"
cp "$msi" "$GV_ROOT/dist/"
msi="$GV_ROOT/dist/$(basename "$msi")"

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
gv_log "wrote $zip and $msi"
sha256sum "$exe" "$zip" "$msi"
