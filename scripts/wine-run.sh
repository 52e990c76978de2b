#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's own services, started by the
# first program of a prefix, inherit its output and outlive it; with ctest's pipe
# they would keep the test "running" until its timeout. They get a file instead.
# --dpi144 first: run in the 144-DPI prefix of scripts/test.sh, and tell the
# cases so, since a prefix that lost its setting would run at 96 unnoticed.
if [ "${1:-}" = --dpi144 ]; then
    shift
    if [ -z "${GV_WINEPREFIX_144:-}" ]; then
        echo "GV_WINEPREFIX_144 is not set: scripts/test.sh prepares that prefix" >&2
        exit 1
    fi
    export WINEPREFIX=$GV_WINEPREFIX_144 GV_EXPECT_DPI=144
fi
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
