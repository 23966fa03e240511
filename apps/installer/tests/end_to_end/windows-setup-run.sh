#!/usr/bin/env bash
# Starts the real Windows program under Wine on the X server in $DISPLAY, alone in a folder of
# its own, against the stand-in WebView2 runtime registered in the prefix the way the
# runtime's installer registers the real one. Where a usable runtime is registered, the
# program walks its whole start-up (environment, view, settings, scripts, page) and ends with
# status 0 when the page asks it to close; otherwise it must build its window, fail to build
# the web view, say why on standard error and end with status 1.
#   windows-setup-run.sh WINE_RUN WINEPREFIX PROGRAM.exe STAND_IN_RUNTIME.dll
set -uo pipefail
wine_run=$1
prefix=$2
program=$3
runtime_dll=$4
here=$(dirname "$0")
# shellcheck source=stand-in-runtime.sh
. "$here/stand-in-runtime.sh"
work=$(mktemp -d)
failures=0

# The prefix's desktop lives as long as its wineserver, and it belongs to the X server of the
# run that started it: let any earlier run's server end before a window is made.
wait_for_the_prefix_to_rest() { WINEPREFIX="$prefix" wineserver -w; }

leave_the_prefix_clean() {
    stand_in_runtime_clear "$prefix"
    wait_for_the_prefix_to_rest
    rm -rf "$work"
}
trap leave_the_prefix_clean EXIT

mkdir "$work/alone"
cp "$program" "$work/alone/"
alone="$work/alone/$(basename "$program")"

# The calls of a whole start-up, as the stand-in logs them (bodies of scripts and page left
# out); the window's title is the install mode's, 520 by 390 at Wine's 96 dots per inch.
expected_walk() {
    local dll=$1
    cat <<WALK
loaded $dll
CreateWebViewEnvironmentWithOptionsInternal check-running-instance runtime-type 0 default-user-data default-options
CreateCoreWebView2Controller in "Установка ZARN"
put_Bounds 0,0 520,390
add_WebMessageReceived
AddScriptToExecuteOnDocumentCreated if (window === window.top) {
script added
AddScriptToExecuteOnDocumentCreated if (window === window.top) {
script added
settings status-bar=0 dev-tools=0 zoom-control=0 pinch-zoom=0 swipe-navigation=0 context-menus=1 accelerator-keys=1 scripts=1 web-messages=1 script-dialogs=1
NavigateToString <!DOCTYPE html>
page posts {"cmd":"close"}
WALK
}

walk_of() {
    grep -E '^(loaded |CreateWebViewEnvironment|CreateCoreWebView2Controller|put_Bounds|add_WebMessageReceived|AddScriptToExecuteOnDocumentCreated|script added|settings |NavigateToString|page posts)' "$1" |
        tr -d '\r'
}

# run_case NAME REGISTRATION VERSION DLL_IN_FOLDER EXPECTED
#   REGISTRATION: machine, user, none, or both (the user's runtime one version ahead, yet the
#   machine's comes first); DLL_IN_FOLDER: yes or no;
#   EXPECTED: "walk", or the text after "failed to initialize ZARN Setup WebView2: ", where {dll}
#   stands for the registered folder's DLL and one "…" for any text.
run_case() {
    local name=$1 registration=$2 version=$3 with_dll=$4 expected=$5
    local folder="" dll=""
    stand_in_runtime_clear "$prefix"
    if [ "$registration" = both ]; then
        stand_in_runtime_install "$prefix" "$runtime_dll" user "${version%.*}.$((${version##*.} + 1))" >/dev/null
        registration=machine
    fi
    if [ "$registration" != none ]; then
        if [ "$with_dll" = yes ]; then
            folder=$(stand_in_runtime_install "$prefix" "$runtime_dll" "$registration" "$version")
        else
            folder=$(stand_in_runtime_folder "$prefix" "$registration" "$version")
            stand_in_runtime_register "$prefix" "$registration" "$folder"
        fi
        dll="$folder\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"
    fi
    expected=${expected//\{dll\}/$dll}
    local log="$work/$name.log"
    wait_for_the_prefix_to_rest
    ZARN_WEBVIEW2_STAND_IN_LOG=$(WINEPREFIX="$prefix" winepath -w "$log" 2>/dev/null) \
        ZARN_WEBVIEW2_STAND_IN_PAGE='{"cmd":"close"}' \
        timeout 300 "$wine_run" "$prefix" "$alone" 2>"$work/$name.stderr" >/dev/null
    local status=$?
    local failed=0
    if grep -q "^failed to build ZARN Setup window" "$work/$name.stderr"; then
        echo "FAIL ($name): the window itself could not be built" >&2
        failed=1
    elif [ "$expected" = walk ]; then
        if [ "$status" -ne 0 ]; then
            echo "FAIL ($name): the program ended with status $status, not 0" >&2
            failed=1
        fi
        if ! diff <(expected_walk "$dll") <(walk_of "$log") >"$work/$name.diff" 2>&1; then
            echo "FAIL ($name): the start-up differs from the expected one (expected <, seen >):" >&2
            cat "$work/$name.diff" >&2
            failed=1
        fi
        if ! grep -q '__zarnInstallerInit({"defaultDir":' "$log" 2>/dev/null; then
            echo "FAIL ($name): the start-up script never reached the runtime" >&2
            failed=1
        fi
    else
        # Wine may add lines of its own; the program's starts with its text.
        local reason
        reason=$(sed -n 's/^failed to initialize ZARN Setup WebView2: //p' "$work/$name.stderr" | tr -d '\r')
        if [ "$status" -ne 1 ]; then
            echo "FAIL ($name): the program ended with status $status, not 1" >&2
            failed=1
        fi
        local before=${expected%%…*} after=""
        [ "$before" != "$expected" ] && after=${expected#*…}
        if [[ $reason != "$before"*"$after" ]] || { [ -z "$after" ] && [ "$reason" != "$expected" ]; }; then
            echo "FAIL ($name): not \"failed to initialize ZARN Setup WebView2: $expected\" on standard error" >&2
            failed=1
        fi
        if [ -s "$log" ] && grep -q '^loaded ' "$log"; then
            echo "FAIL ($name): a runtime was loaded: $(grep '^loaded ' "$log")" >&2
            failed=1
        fi
    fi
    if [ "$failed" -ne 0 ]; then
        echo "--- standard error ($name):" >&2
        cat "$work/$name.stderr" >&2
        failures=$((failures + 1))
        return
    fi
    echo "$name: status $status; $(if [ "$expected" = walk ]; then echo "whole start-up against $dll"; else sed -n 's/^failed to initialize/failed to initialize/p' "$work/$name.stderr" | tr -d '\r'; fi)"
}

#        name                                   registration version        DLL  expected
run_case "registered for the user"              user    130.0.2849.80 yes "walk"
run_case "registered for the machine"           machine 131.0.2903.70 yes "walk"
run_case "registered for both"                  both    131.0.2903.70 yes "walk"
run_case "not registered"                       none    -             -   "no WebView2 runtime is installed"
run_case "older than the oldest usable runtime" machine 86.0.615.99   yes "the installed WebView2 runtime 86.0.615.99 is too old: 86.0.616.0 or later is needed"
run_case "registered folder without its DLL"    user    130.0.2849.80 no  "the WebView2 runtime {dll} could not be loaded: …(os error 126)"

[ "$failures" -eq 0 ]
