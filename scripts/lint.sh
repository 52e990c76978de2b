#!/usr/bin/env bash
# clang-tidy and cppcheck over the program's sources; exits non-zero on any finding.
# Needs the Windows tree's compile_commands.json (scripts/test.sh builds it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
sources=$(git ls-files main.cpp 'core/*.cpp' 'store/*.cpp' 'registry/*.cpp' 'ui/*.cpp' 2>/dev/null || ls main.cpp core/*.cpp store/*.cpp registry/*.cpp ui/*.cpp)

# clang-tidy parses the MinGW build with the MinGW C++ headers.
gcc_inc=$(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ /' | sed 's/^ //')
extra=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-Wno-unknown-warning-option
       --extra-arg=-Wno-ignored-optimization-argument)  # GCC's link-time optimisation flags
for d in $gcc_inc; do
    case $d in *c++* | */x86_64-w64-mingw32/include) extra+=(--extra-arg=-isystem"$d") ;; esac
done
status=0
# Layers point one way: core/ names nothing above it, and store/ leaves the
# program-wide variables to the windows.
if grep -n -E '#include "(ui|store|registry)/' core/* || grep -n 'core/modules.h' store/*; then
    echo "lint: an include points up a layer" >&2
    status=1
fi
# Two at a time; each prints its findings and fails on any.
export GV_WINDOWS_BUILD_DIR="${GV_WINDOWS_BUILD_DIR:-$root/build/windows}"
printf '%s\n' $sources | xargs -P2 -I{} sh -c 'clang-tidy -p "${GV_WINDOWS_BUILD_DIR:-build/windows}" --quiet "$@" {} 2>/dev/null' _ "${extra[@]}" || status=1

# cppcheck 2.10 reads only ASCII identifiers: check a copy with the Swedish letters spelled out.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
for f in $(git ls-files main.cpp 'core/*' 'store/*' 'registry/*' 'ui/*' 2>/dev/null); do
    mkdir -p "$copy/$(dirname "$f")"
    sed -e 's/Å/Aa/g; s/Ä/Ae/g; s/Ö/Oe/g; s/å/aa/g; s/ä/ae/g; s/ö/oe/g' "$f" >"$copy/$f"
done
cppcheck --std=c++20 --enable=warning,style,performance,portability --error-exitcode=1 --quiet \
    --inline-suppr --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
    -D_WIN32 -DUNICODE -I "$copy" "$copy/main.cpp" "$copy/core" "$copy/store" "$copy/registry" "$copy/ui" || status=1

[ $status = 0 ] && echo "lint: clang-tidy and cppcheck found nothing"
exit $status
