#!/usr/bin/env bash
# Builds grindvakt.exe a second time, from a copy of the sources in another
# folder and in a build folder of its own, and compares it byte for byte with the
# given build: anyone who builds the same commit gets the same file.
# Usage: scripts/check-reproducible.sh [EXE]   (default: $GV_WINDOWS_BUILD_DIR/grindvakt.exe)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-${GV_WINDOWS_BUILD_DIR:?name the exe or set GV_WINDOWS_BUILD_DIR}/grindvakt.exe}
[ -f "$exe" ] || { echo "FAIL: no such file: $exe"; exit 1; }

work=$(mktemp -d /tmp/grindvakt-again.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$work/src" -xf -

start=$(date +%s)
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DGV_BUILD_TESTS=OFF -DGV_BUILD_BENCH=OFF >/dev/null
cmake --build "$work/build" --target grindvakt -j2 >/dev/null
echo "second build: $(($(date +%s) - start)) s in $work/build"

sha256sum "$exe" "$work/build/grindvakt.exe"
if cmp "$exe" "$work/build/grindvakt.exe"; then
    echo "the two builds are byte for byte the same"
else
    echo "FAIL: the two builds differ ($(cmp -l "$exe" "$work/build/grindvakt.exe" | wc -l) bytes)"
    exit 1
fi
