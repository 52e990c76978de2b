#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's own services, started by the
# first program of a prefix, inherit its output and outlive it; with ctest's pipe
# they would keep the test "running" until its timeout. They get a file instead.
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
