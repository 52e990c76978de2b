"""Builds the installer from release/grindvakt.wxs.in with wixl, reproducibly.

wixl draws a random package code, and writes the build time into the summary
information: both are set here instead, from the content and from
SOURCE_DATE_EPOCH (by default the last commit's time). The product code, too, is
derived from the fixed upgrade code and the content (version included): a
package of the same version with other content is another product, and the
upgrade rule takes the same version, so it replaces the installed one instead of
being refused (1638). wixl leaves two things that are set here after it: the
database's code page (it ignores Codepage and reads back 0, while it stores the
strings as Windows-1252) and the same-version upgrade (it has no
AllowSameVersionUpgrades). Needs Debian's wixl, msitools and python3-olefile
(run it with /usr/bin/python3).

Usage: build-msi.py --version 1.0.0 --exe grindvakt.exe --readme LASMIG.txt
                    --icon grindvakt.ico --out grindvakt-1.0.0-win64.msi
"""

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid

import olefile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEMPLATE = os.path.join(ROOT, "release", "grindvakt.wxs.in")
MANUFACTURER = "Grindvaktsgruppen"
SWEDISH = "1053"

# Summary information: the property ids of the two times, and their type.
PID_CREATE_DTM, PID_LASTSAVE_DTM, VT_FILETIME = 12, 13, 64
FILETIME_UNIX_EPOCH = 11644473600
# The Upgrade table's attributes: the row that removes older versions also takes
# this one's own version (what WiX's AllowSameVersionUpgrades does).
UPGRADE_ONLY_DETECT, UPGRADE_VERSION_MAX_INCLUSIVE = 2, 512


def version_text(version):
    """The version as the program shows it: 1.0.0 is "1.00", 1.12.0 is "1.12"."""
    major, minor = version.split(".")[:2]
    return f"{major}.{int(minor):02d}" if int(minor) < 10 else f"{major}.{minor}"


def source_date_epoch():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout
        return int(out.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 1704067200


def braced(u):
    return "{" + str(u).upper() + "}"


def set_summary_times(msi, epoch):
    """Rewrites the creation and last-save times in place: same stream size."""
    stamp = (max(epoch, 0) + FILETIME_UNIX_EPOCH) * 10_000_000
    with olefile.OleFileIO(msi, write_mode=True) as ole:
        stream = bytearray(ole.openstream("\x05SummaryInformation").read())
        section = struct.unpack_from("<I", stream, 44)[0]
        count = struct.unpack_from("<I", stream, section + 4)[0]
        found = 0
        for i in range(count):
            pid, offset = struct.unpack_from("<II", stream, section + 8 + 8 * i)
            if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
                at = section + offset
                if struct.unpack_from("<I", stream, at)[0] != VT_FILETIME:
                    sys.exit(f"{msi}: summary property {pid} is no FILETIME")
                struct.pack_into("<Q", stream, at + 4, stamp)
                found += 1
        if found != 2:
            sys.exit(f"{msi}: found {found} of the summary's two times")
        ole.write_stream("\x05SummaryInformation", bytes(stream))


def import_table(msi, work, name, rows):
    """Imports a table file whole: a table whose key holds a version takes no UPDATE."""
    path = os.path.join(work, name + ".idt")
    with open(path, "w", encoding="cp1252", newline="\r\n") as f:
        f.write("\n".join(rows) + "\n")
    subprocess.run(["msibuild", msi, "-i", path], check=True)


def take_same_version(msi, work, version):
    """Lets the removing row of the Upgrade table take the package's own version."""
    exported = subprocess.run(["msiinfo", "export", msi, "Upgrade"], capture_output=True,
                              text=True, encoding="utf-8", check=True).stdout
    rows = exported.replace("\r\n", "\n").rstrip("\n").split("\n")
    edited = 0
    for i, row in enumerate(rows[3:], start=3):
        cells = row.split("\t")
        # UpgradeCode, VersionMin, VersionMax, Language, Attributes, Remove, ActionProperty
        attributes = int(cells[4])
        if cells[2] == version and not attributes & UPGRADE_ONLY_DETECT:
            cells[4] = str(attributes | UPGRADE_VERSION_MAX_INCLUSIVE)
            rows[i] = "\t".join(cells)
            edited += 1
    if edited != 1:
        sys.exit(f"{msi}: {edited} rows of the Upgrade table remove version {version}, not one")
    import_table(msi, work, "Upgrade", rows)


def main():
    parser = argparse.ArgumentParser()
    for name in ("version", "exe", "readme", "icon", "out"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()

    with open(TEMPLATE, encoding="utf-8") as f:
        template = f.read()
    upgrade = re.search(r'UpgradeCode="\{([0-9A-Fa-f-]{36})\}"', template)
    if not upgrade:
        sys.exit(f"{TEMPLATE}: no fixed UpgradeCode")
    upgrade_code = uuid.UUID(upgrade.group(1))
    fields = {
        "VERSION": args.version,
        "VERSION_TEXT": version_text(args.version),
        # Names in the work folder: where the build ran leaves no trace in the package.
        "EXE": "grindvakt.exe",
        "README": "LASMIG.txt",
        "ICON": "grindvakt.ico",
    }
    # Packages that differ get different codes: both are hashes of what goes in.
    content = hashlib.sha256(re.sub(r"@([A-Z_]+)@", lambda m: fields.get(m.group(1), ""),
                                    template).encode("utf-8"))
    for name in ("exe", "readme", "icon"):
        with open(getattr(args, name), "rb") as f:
            content.update(hashlib.sha256(f.read()).digest())
    fields["PRODUCT_CODE"] = braced(uuid.uuid5(upgrade_code, "product " + content.hexdigest()))
    package_code = braced(uuid.uuid5(upgrade_code, "package " + content.hexdigest()))
    wxs = re.sub(r"@([A-Z_]+)@", lambda m: fields[m.group(1)], template)

    with tempfile.TemporaryDirectory() as work:
        epoch = source_date_epoch()
        for name in ("exe", "readme", "icon"):
            copy = os.path.join(work, fields[name.upper()])
            shutil.copyfile(getattr(args, name), copy)
            # The cabinet dates its files.
            os.utime(copy, (epoch, epoch))
        msi = os.path.join(work, "grindvakt.msi")
        with open(os.path.join(work, "grindvakt.wxs"), "w", encoding="utf-8") as f:
            f.write(wxs)
        built = subprocess.run(["wixl", "-a", "x64", "-o", msi, "grindvakt.wxs"], cwd=work,
                               capture_output=True, text=True)
        if built.returncode != 0:
            sys.exit(f"wixl failed:\n{built.stderr}")
        import_table(msi, work, "_ForceCodepage", ["", "", "1252\t_ForceCodepage"])
        take_same_version(msi, work, args.version)
        subprocess.run(["msibuild", msi, "-s", "Grindvakt " + fields["VERSION_TEXT"],
                        MANUFACTURER, "x64;" + SWEDISH, package_code], check=True)
        set_summary_times(msi, epoch)
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
        shutil.copyfile(msi, args.out)
    print(f"{args.out}: product {fields['PRODUCT_CODE']}, package {package_code}")


if __name__ == "__main__":
    main()
