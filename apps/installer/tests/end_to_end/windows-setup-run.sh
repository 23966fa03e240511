#!/usr/bin/env bash
# Starts the Windows program under Wine on the X server in $DISPLAY. Wine has no WebView2
# runtime, so the program must build its window, fail to build the web view, say why on
# standard error and end with a failure status. Two runs: as shipped, where the loader
# WebView2Loader.dll is missing, and with a stand-in loader beside it that finds no runtime.
#   windows-setup-run.sh WINE_RUN WINEPREFIX PROGRAM.exe STAND_IN_LOADER.dll
set -uo pipefail
wine_run=$1
prefix=$2
program=$3
loader=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The prefix's desktop lives as long as its wineserver, and it belongs to the X server of the
# run that started it: let any earlier run's server end before a window is made.
wait_for_the_prefix_to_rest() { WINEPREFIX="$prefix" wineserver -w; }

# run_setup NAME PROGRAM EXPECTED_REASON_START
run_setup() {
    local name=$1 setup=$2 expected=$3
    wait_for_the_prefix_to_rest
    timeout 300 "$wine_run" "$prefix" "$setup" 2>"$work/$name.stderr" >/dev/null
    local status=$?
    # Wine may add lines of its own; the program's starts with its text.
    local reason
    reason=$(sed -n 's/^failed to initialize ZARN Setup WebView2: //p' "$work/$name.stderr" | tr -d '\r')
    local failed=0
    if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
        echo "FAIL ($name): the program ended with status $status, not with a failure status" >&2
        failed=1
    fi
    if grep -q "^failed to build ZARN Setup window" "$work/$name.stderr"; then
        echo "FAIL ($name): the window itself could not be built" >&2
        failed=1
    fi
    if [ "${reason#"$expected"}" = "$reason" ]; then
        echo "FAIL ($name): no \"failed to initialize ZARN Setup WebView2: $expected…\" on standard error" >&2
        failed=1
    fi
    if [ "$failed" -ne 0 ]; then
        echo "--- standard error ($name):" >&2
        cat "$work/$name.stderr" >&2
        failures=$((failures + 1))
        return
    fi
    echo "$name: status $status; failed to initialize ZARN Setup WebView2: $reason"
}

run_setup "as shipped" "$program" "WebView2Loader.dll could not be loaded"

mkdir "$work/with-loader"
cp "$program" "$loader" "$work/with-loader/"
run_setup "beside a loader" "$work/with-loader/$(basename "$program")" "no WebView2 runtime is installed"

wait_for_the_prefix_to_rest
[ "$failures" -eq 0 ]
