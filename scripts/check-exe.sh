#!/usr/bin/env bash
# Checks the built program as shipped, signed or not: at most 288 KiB besides its
# signature, imports only Known DLLs, and no C++ streams linked in. Prints the
# size and the imports.
# Usage: scripts/check-exe.sh [EXE]   (default: $GV_WINDOWS_BUILD_DIR/grindvakt.exe)
set -euo pipefail
exe=${1:-${GV_WINDOWS_BUILD_DIR:?name the exe or set GV_WINDOWS_BUILD_DIR}/grindvakt.exe}
limit=294912
objdump=x86_64-w64-mingw32-objdump

if [ ! -f "$exe" ]; then
    echo "FAIL: no such file: $exe"
    exit 1
fi
command -v "$objdump" >/dev/null || { echo "FAIL: $objdump is missing"; exit 1; }
status=0

# A signature (the certificate table at the file's end) is no part of the program;
# it grows with the certificate's chain and a timestamp, so it is counted apart.
headers=$("$objdump" -p "$exe")
signature=$((16#$(awk '$1 == "Entry" && $2 == 4 { print $4 }' <<<"$headers")))
size=$(($(stat -c %s "$exe") - signature))
echo "$exe: $size bytes (limit $limit), and a signature of $signature bytes"
if [ "$size" -gt "$limit" ]; then
    echo "FAIL: larger than $limit bytes by $((size - limit))"
    status=1
fi

# Known DLLs: Windows loads these from system32 only, never from the program's
# folder. Windows 7's and Windows 10's lists
# (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs) both hold
# advapi32 gdi32 kernel32 msvcrt shell32 user32 (and ole32 oleaut32 comdlg32
# shlwapi imm32 ws2_32 ...); ntdll is loaded before any import. Everything else
# (comctl32, wtsapi32, uxtheme, version, ucrtbase on Windows 7) is looked for in
# the program's folder first: the program loads such DLLs at run time from system32.
is_known_dll() {
    case ${1,,} in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | msvcrt.dll | ntdll.dll) return 0 ;;
        *) return 1 ;;
    esac
}
imports=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers")
if [ -z "$imports" ]; then
    echo "FAIL: no import table found"
    status=1
fi
for dll in $imports; do
    if is_known_dll "$dll"; then
        echo "imports $dll"
    else
        echo "FAIL: imports $dll, which is no Known DLL: load it from system32 at run time"
        status=1
    fi
done

# libstdc++'s stream and locale code carries these messages, and stripping keeps them.
streams=$(LC_ALL=C grep -a -o -E 'basic_ios::clear|ios_base::_M_grow_words|locale::facet::_S_create_c_locale' "$exe" | sort -u || true)
if [ -n "$streams" ]; then
    echo "FAIL: C++ streams are linked in (found: $(paste -sd " " <<<"$streams"))"
    status=1
else
    echo "no C++ streams linked in"
fi
exit $status
