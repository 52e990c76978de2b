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
# Wine's error channels (and OutputDebugString, under warn+seh) of the case and of
# every program it starts go to a log of their own, shown when the case fails; the
# e2e driver marks each start of the program in it by its process id.
out=$(mktemp)
log=$(mktemp)
for attempt in 1 2 3; do
    WINEDEBUG=${GV_CASE_WINEDEBUG:-err+all,warn+seh} wine "$@" >"$out" 2>"$log" </dev/null
    rc=$?
    # Now and then Wine's loader finds the address of a new process's shared page
    # taken (c0000018) and ends it with exit code 1 before any of its code ran. The
    # test program then printed nothing: start it again, as the driver does with the
    # program it starts, and say so.
    if [ $rc = 0 ] || [ -s "$out" ] || ! grep -q 'failed to map the shared user data' "$log"; then
        break
    fi
    echo "wine-run: Wine did not start the test program (attempt $attempt): $(grep "shared user data" "$log")"
done
cat "$out"
if [ $rc != 0 ]; then
    echo "--- exit code $rc; Wine's log of this case (WINEDEBUG=${GV_CASE_WINEDEBUG:-err+all,warn+seh}):"
    cat "$log"
fi
rm -f "$out" "$log"
exit $rc
