#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix: wine-run.sh PREFIX PROGRAM ARGS...
set -eu
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
