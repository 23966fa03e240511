#!/usr/bin/env bash
# The stand-in WebView2 runtime (a browser-less EmbeddedBrowserWebView.dll) installed into a
# test's Wine prefix and registered as the runtime's installer registers the real one, so that
# the real program, alone in its folder, finds it where it finds the real runtime on Windows.
# For test prefixes only. Source it for the functions, or run it:
#   stand-in-runtime.sh install PREFIX RUNTIME.dll machine|user [VERSION]
#       copies the DLL to the runtime folder, registers the folder, prints its Windows path
#   stand-in-runtime.sh register PREFIX machine|user 'C:\WINDOWS\FOLDER'
#       registers a folder only (with or without a DLL in it)
#   stand-in-runtime.sh clear PREFIX
#       removes both registrations and the folders "install" makes
# Then run the program, e.g. cmake/wine-run.sh PREFIX ZARN-Setup.exe; the stand-in reads
# ZARN_WEBVIEW2_STAND_IN, ZARN_WEBVIEW2_STAND_IN_LOG and ZARN_WEBVIEW2_STAND_IN_PAGE
# (see tests/stand_ins/webview2_runtime.cpp).

stand_in_runtime_channel='{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'

# The runtime's installer writes to the 32-bit view: under HKLM in a 64-bit prefix that is
# Wow6432Node, while HKCU\Software is one key for both views (as on 64-bit Windows).
stand_in_runtime_key() {
    case $1 in
        machine) echo "HKLM\\Software\\Wow6432Node\\Microsoft\\EdgeUpdate\\ClientState\\$stand_in_runtime_channel" ;;
        user) echo "HKCU\\Software\\Microsoft\\EdgeUpdate\\ClientState\\$stand_in_runtime_channel" ;;
        *) echo "stand-in-runtime: machine or user, not $1" >&2; return 1 ;;
    esac
}

stand_in_runtime_wine() {
    local prefix=$1
    shift
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" "$@"
}

# Where the installer puts the runtime: Program Files (x86) for the machine, the user's local
# application data for one user.
stand_in_runtime_folder() {
    local prefix=$1 hive=$2 version=$3 base
    case $hive in
        machine) base='C:\Program Files (x86)' ;;
        user) base=$(stand_in_runtime_wine "$prefix" wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r') ;;
        *) echo "stand-in-runtime: machine or user, not $hive" >&2; return 1 ;;
    esac
    echo "$base\\Microsoft\\EdgeWebView\\Application\\$version"
}

stand_in_runtime_register() {
    local prefix=$1 hive=$2 folder=$3 key
    key=$(stand_in_runtime_key "$hive") || return 1
    stand_in_runtime_wine "$prefix" wine reg add "$key" /v EBWebView /t REG_SZ /d "$folder" /f >/dev/null
}

stand_in_runtime_install() {
    local prefix=$1 dll=$2 hive=$3 version=${4:-130.0.2849.80} folder target
    folder=$(stand_in_runtime_folder "$prefix" "$hive" "$version") || return 1
    target=$(stand_in_runtime_wine "$prefix" winepath -u "$folder\\EBWebView\\x64")
    mkdir -p "$target" && cp "$dll" "$target/EmbeddedBrowserWebView.dll" || return 1
    stand_in_runtime_register "$prefix" "$hive" "$folder" || return 1
    echo "$folder"
}

stand_in_runtime_clear() {
    local prefix=$1 hive folder
    for hive in machine user; do
        stand_in_runtime_wine "$prefix" wine reg delete "$(stand_in_runtime_key "$hive")" /f >/dev/null 2>&1
        folder=$(stand_in_runtime_folder "$prefix" "$hive" "")
        rm -rf "$(stand_in_runtime_wine "$prefix" winepath -u "$folder")"
    done
    return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    command=${1:-}
    shift || true
    case $command in
        install) stand_in_runtime_install "$@" ;;
        register) stand_in_runtime_register "$@" ;;
        clear) stand_in_runtime_clear "$@" ;;
        *) sed -n '2,15p' "$0" >&2; exit 2 ;;
    esac
fi
