#!/usr/bin/env bash
# A setup program is started from a Downloads folder, where a DLL named like one it loads can
# lie in wait. This plants a recording DLL under every such name beside the program and in the
# current folder, then runs the real program under Wine (on the X server in $DISPLAY) through
# a whole start-up against the stand-in WebView2 runtime and an install whose download fails
# at the built-in update server, and runs a whole download with its digest check (the download
# probe, restricted the same way) against a loopback server. No planted copy may be loaded.
#   windows-planted-dlls.sh WINE_RUN WINEPREFIX PROGRAM.exe STAND_IN_RUNTIME.dll PLANTED.dll DOWNLOAD_PROBE.exe
#
# The names: Microsoft's WebView2 loader and the runtime's own DLL, each system DLL the
# program binds on first use (the LIBRARY lines of its delay-import files), and a system DLL
# the runtime's DLL imports; the program-file check sees to it that every other DLL the
# program imports is one Windows always takes from its system folder.
#
# Where Wine differs from Windows: Windows loads the first copy its search finds. Wine, for a
# DLL it carries itself, prefers its own built-in one unless told otherwise, even when its
# search found a copy in the program's folder (it did so for winhttp.dll and bcrypt.dll, not
# for dwmapi.dll). Every planted name is therefore set to "native first", so Wine too takes a
# planted copy whenever its search reaches it, as Windows would. One exception: Wine's own
# WinHTTP binds crypt32 through a search that ignores the program's restriction, and crypt32
# then takes bcrypt.dll from the program's folder; on Windows both are mapped from the
# system's KnownDLLs section. The program's run, which never reaches BCrypt (its download ends
# at the built-in server), leaves bcrypt at Wine's built-in; the probe binds BCrypt itself
# before it uses WinHTTP and plants it native first. A copy taken by mistake would
# crash the program at its first call into it; Wine's debugger is turned off so that such a run
# ends at once.
set -uo pipefail
wine_run=$1
prefix=$2
program=$3
runtime_dll=$4
planted_dll=$5
probe=$6
here=$(dirname "$0")
# shellcheck source=stand-in-runtime.sh
. "$here/stand-in-runtime.sh"
work=$(mktemp -d)
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

wait_for_the_prefix_to_rest() { WINEPREFIX="$prefix" wineserver -w; }

leave_the_prefix_clean() {
    stand_in_runtime_clear "$prefix"
    wait_for_the_prefix_to_rest
    rm -rf "$work"
}
trap leave_the_prefix_clean EXIT

planted_names() {
    echo WebView2Loader.dll
    echo EmbeddedBrowserWebView.dll
    sed -n 's/^LIBRARY[[:space:]]*\([^[:space:]]*\).*/\1/p' "$here"/../../src/*/win32/delay_imports/*.def
    # What the runtime's DLL imports besides the KnownDLLs (the stand-in's one such import).
    echo wtsapi32.dll
}
mapfile -t names < <(planted_names | tr -d '\r')
[ "${#names[@]}" -gt 2 ] || fail "no delay-import files found under $here/../../src"

# overrides_except NAME: every planted name native first, but NAME.
overrides_except() {
    local overrides="mscoree,mshtml=;winedbg.exe=d" name stem
    for name in "${names[@]}"; do
        stem=$(tr 'A-Z' 'a-z' <<<"${name%.[dD][lL][lL]}")
        [ "$stem" = "$1" ] || overrides+=";$stem=n,b"
    done
    echo "$overrides"
}

plant_into() {
    local folder=$1 name
    mkdir -p "$folder"
    for name in "${names[@]}"; do cp "$planted_dll" "$folder/$name"; done
}

windows_path() { WINEPREFIX="$prefix" winepath -w "$1" 2>/dev/null; }

# Each loaded copy left "{name}.loaded" beside itself.
check_nothing_planted_was_loaded() {
    local run=$1 record
    for record in "$work"/Downloads/*.loaded "$work"/current/*.loaded "$work"/probe/*.loaded; do
        [ -e "$record" ] || continue
        fail "($run) the planted $(basename "${record%.loaded}") in $(basename "$(dirname "$record")") was loaded"
        rm -f "$record"
    done
}

plant_into "$work/Downloads"
plant_into "$work/current"
plant_into "$work/probe"
cp "$program" "$work/Downloads/"
cp "$probe" "$work/probe/"
echo "planted in the program's folder and the current folder: ${names[*]}"

run_the_program() {
    local log="$work/setup.log" target json_target
    stand_in_runtime_clear "$prefix"
    stand_in_runtime_install "$prefix" "$runtime_dll" user >/dev/null || { fail "the stand-in runtime could not be installed"; return; }
    target=$(windows_path "$work/installed")
    json_target=${target//\\/\\\\}
    wait_for_the_prefix_to_rest
    (cd "$work/current" &&
        WINEDLLOVERRIDES=$(overrides_except bcrypt) ZARN_WEBVIEW2_STAND_IN_LOG=$(windows_path "$log") \
            ZARN_WEBVIEW2_STAND_IN_PAGE='{"cmd":"install","installDir":"'"$json_target"'"}
wait-for-script "error");
{"cmd":"close"}' \
            timeout 300 "$wine_run" "$prefix" "$work/Downloads/$(basename "$program")" 2>"$work/setup.stderr" >/dev/null)
    local status=$?
    touch "$log"
    tr -d '\r' <"$log" >"$work/setup.lines"
    local failed=0 failures_before=$failures
    [ "$status" -eq 0 ] || { fail "(setup) the program ended with status $status, not 0"; failed=1; }
    grep -q '^NavigateToString ' "$work/setup.lines" || { fail "(setup) the page was never loaded"; failed=1; }
    # The install reached the download, which cannot reach the built-in server from here.
    grep -q '^ExecuteScript window.__zarnInstallerProgress.*, 25, .*"error");$' "$work/setup.lines" ||
        { fail "(setup) the install did not end at the download"; failed=1; }
    grep -q '^page posts {"cmd":"close"}$' "$work/setup.lines" || { fail "(setup) the page never closed the window"; failed=1; }
    if [ "$failed" -ne 0 ]; then
        echo "--- standard error:" >&2
        cat "$work/setup.stderr" >&2
        echo "--- the stand-in runtime's log:" >&2
        cut -c1-200 "$work/setup.lines" >&2
    fi
    check_nothing_planted_was_loaded setup
    [ "$failures" -eq "$failures_before" ] && echo "setup: status $status, whole start-up, the install ended at the download, nothing planted loaded"
}

run_the_probe() {
    wait_for_the_prefix_to_rest
    local said status failures_before=$failures
    (cd "$work/current" &&
        WINEDLLOVERRIDES=$(overrides_except none) timeout 300 "$wine_run" "$prefix" "$work/probe/$(basename "$probe")" \
            >"$work/probe.stdout" 2>"$work/probe.stderr")
    status=$?
    said=$(tr -d '\r' <"$work/probe.stdout")
    if [ "$status" -ne 0 ] || [ "$said" != downloaded ]; then
        fail "(download) the probe ended with status $status, saying \"$said\""
        cat "$work/probe.stderr" >&2
    fi
    check_nothing_planted_was_loaded download
    [ "$failures" -eq "$failures_before" ] && echo "download probe: status $status, $said, nothing planted loaded"
}

run_the_program
run_the_probe
[ "$failures" -eq 0 ]
