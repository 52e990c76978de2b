#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's own services, started by the
# first program of a prefix, inherit its output and outlive it; with ctest's pipe
# they would keep the test "running" until its timeout. They get a file instead.
# --dpi144 or --dpi120 first: run in that prefix of scripts/test.sh, and tell the
# cases so, since a prefix that lost its setting would run at 96 unnoticed.
case "${1:-}" in
--dpi144 | --dpi120)
    dpi=${1#--dpi}
    shift
    var=GV_WINEPREFIX_$dpi
    if [ -z "${!var:-}" ]; then
        echo "$var is not set: scripts/test.sh prepares that prefix" >&2
        exit 1
    fi
    export WINEPREFIX=${!var} GV_EXPECT_DPI=$dpi
    ;;
esac
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
