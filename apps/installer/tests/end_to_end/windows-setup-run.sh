#!/usr/bin/env bash
# Starts the Windows program under Wine on the X server in $DISPLAY. Wine has no WebView2
# runtime, so the program must build its window, fail to build the web view, say why on
# standard error and end with a failure status.
#   windows-setup-run.sh WINE_RUN WINEPREFIX PROGRAM.exe
set -uo pipefail
wine_run=$1
prefix=$2
program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

timeout 300 "$wine_run" "$prefix" "$program" 2>"$work/stderr" >"$work/stdout"
status=$?

# Wine may add its own lines; the program's is the one that starts with its text.
reason=$(sed -n 's/^failed to initialize ZARN Setup WebView2: //p' "$work/stderr" | tr -d '\r')
failed=0
if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
    echo "FAIL: the program ended with status $status, not with a failure status" >&2
    failed=1
fi
if grep -q "^failed to build ZARN Setup window" "$work/stderr"; then
    echo "FAIL: the window itself could not be built" >&2
    failed=1
fi
if [ -z "$reason" ]; then
    echo "FAIL: no \"failed to initialize ZARN Setup WebView2: {reason}\" on standard error" >&2
    failed=1
fi
if [ "$failed" -ne 0 ]; then
    echo "--- standard error:" >&2
    cat "$work/stderr" >&2
    exit 1
fi
echo "status $status; standard error: failed to initialize ZARN Setup WebView2: $reason"
