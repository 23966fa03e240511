#!/usr/bin/env bash
# Runs the Linux host of the setup program as a user would, on the X server in $DISPLAY
# (an Xvfb without a window manager), clicking the page with xdotool:
#   1. install from the local package beside the program, then "Запустить ZARN";
#   2. the installed uninstaller copy with --uninstall, then "Готово";
#   3. the close button of a fresh start.
# The user's folders point into a temporary folder, the stand-in powershell and taskkill are
# found on PATH, and the stand-in client lies beside the program as its "zarn.exe".
# Screenshots of each state go to OUTPUT_DIR.
#   linux-setup-run.sh PROGRAM STAND_IN_DIR OUTPUT_DIR
set -uo pipefail
program=$(realpath "$1")
stand_ins=$(realpath "$2")
output=$3
mkdir -p "$output"
output=$(realpath "$output")
rm -f "$output"/*.png

root=$(mktemp -d)
cleanup() {
    [ -n "$setup_pid" ] && kill "$setup_pid" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT

export PATH="$stand_ins:$PATH"
export ZARN_STANDIN_LOG="$root/stand-ins.log"

source "$(dirname "${BASH_SOURCE[0]}")/setup-driver.sh"

# The program as a user finds it: downloaded into a folder with the client package beside it.
package="$root/Downloads"
mkdir -p "$package" "$root/started-from"
cp "$program" "$package/zarn-setup"
cp "$stand_ins/zarn" "$package/zarn.exe"
cd "$root/started-from" || exit 1

install_then_launch() {
    step "install from the local package, then launch the client"
    use_user_folders "$root/user"
    : >"$ZARN_STANDIN_LOG"
    start_setup "Установка ZARN" "$package/zarn-setup"
    wait_until "the page's \"Установить\"" pixel_is $MAIN_BUTTON_X $MAIN_BUTTON_Y "$ACCENT"
    shot "install-choosing"
    click $MAIN_BUTTON_X $MAIN_BUTTON_Y

    wait_until "config.json" test -f "$install_dir/config.json"
    wait_until "the uninstaller copy" test -f "$install_dir/ZARN-Uninstall.exe"
    wait_until "the registration command" log_has powershell "UninstallString"
    wait_until "\"Запустить ZARN\"" pixel_is $MAIN_BUTTON_X $MAIN_BUTTON_Y "$ACCENT"
    shot "install-done"

    cmp -s "$package/zarn.exe" "$install_dir/zarn.exe" || fail "zarn.exe is not the local package"
    cmp -s "$program" "$install_dir/ZARN-Uninstall.exe" || fail "ZARN-Uninstall.exe is not a copy of the program"
    grep -q '^  "serverUrl": "https\?://' "$install_dir/config.json" || fail "config.json holds no server URL"
    log_has taskkill '"args":["/IM","zarn.exe","/F"]' || fail "the running client was not ended"
    log_has taskkill '"args":["/IM","zarn-desktop.exe","/F"]' || fail "the desktop client was not ended"
    log_has powershell "Desktop/ZARN.lnk" || fail "no desktop shortcut was asked for"
    log_has powershell "Start Menu/Programs/ZARN.lnk" || fail "no Start-menu shortcut was asked for"
    log_has powershell "$install_dir/ZARN-Uninstall.exe" || fail "the registration does not name the uninstaller"
    log_has zarn "" && fail "the client started before \"Запустить ZARN\""

    click $MAIN_BUTTON_X $MAIN_BUTTON_Y
    expect_exit_zero
    wait_until "the client's start" log_has zarn "\"cwd\":\"$root/started-from\""
    log_has zarn '"args":[]' || fail "the client was started with arguments"
    [ "$(log_count zarn)" -eq 1 ] || fail "the client was started $(log_count zarn) times"
}

uninstall_with_the_copy() {
    step "uninstall with the installed uninstaller copy"
    use_user_folders "$root/user"
    # What an installed client leaves around itself, and what the uninstall must leave alone.
    touch "$install_dir/zarn.exe.old" "$install_dir/zarn-desktop.exe" "$install_dir/notes.txt"
    mkdir -p "$install_dir/updates/0.4.0" "$install_dir/zarn-desktop.exe.WebView2/EBWebView"
    touch "$install_dir/updates/0.4.0/zarn.exe" "$install_dir/zarn-desktop.exe.WebView2/EBWebView/state"
    local desktop="$USERPROFILE/Desktop/ZARN.lnk" start_menu="$APPDATA/Microsoft/Windows/Start Menu/Programs/ZARN.lnk"
    mkdir -p "$(dirname "$desktop")" "$(dirname "$start_menu")"
    touch "$desktop" "$start_menu"
    : >"$ZARN_STANDIN_LOG"

    start_setup "Удаление ZARN" "$install_dir/ZARN-Uninstall.exe" --uninstall
    wait_until "the page's \"Удалить ZARN\"" pixel_is $MAIN_BUTTON_X $MAIN_BUTTON_Y "$DANGER"
    shot "uninstall-choosing"
    click $MAIN_BUTTON_X $MAIN_BUTTON_Y

    wait_until "\"Готово\"" pixel_is $MAIN_BUTTON_X $MAIN_BUTTON_Y "$SURFACE"
    shot "uninstall-done"
    local gone
    for gone in zarn.exe zarn.exe.old zarn-desktop.exe config.json updates; do
        [ -e "$install_dir/$gone" ] && fail "$gone is still there"
    done
    [ -e "$desktop" ] && fail "the desktop shortcut is still there"
    [ -e "$start_menu" ] && fail "the Start-menu shortcut is still there"
    local kept
    for kept in ZARN-Uninstall.exe notes.txt zarn-desktop.exe.WebView2/EBWebView/state; do
        [ -e "$install_dir/$kept" ] || fail "$kept was removed"
    done
    log_has taskkill '"args":["/IM","zarn.exe","/F"]' || fail "the running client was not ended"
    log_has taskkill "zarn-desktop.exe" && fail "the uninstall ended zarn-desktop.exe"
    log_has powershell "Remove-Item -Path 'HKCU:" || fail "the registry entries were not removed"

    click $MAIN_BUTTON_X $MAIN_BUTTON_Y
    expect_exit_zero
    log_has zarn "" && fail "the uninstall started the client"
}

close_button_ends_the_program() {
    step "the close button ends the program"
    use_user_folders "$root/other-user"
    : >"$ZARN_STANDIN_LOG"
    start_setup "Установка ZARN" "$package/zarn-setup"
    wait_until "the page's \"Установить\"" pixel_is $MAIN_BUTTON_X $MAIN_BUTTON_Y "$ACCENT"
    xdotool mousemove --sync "$((window_x + CLOSE_BUTTON_X))" "$((window_y + CLOSE_BUTTON_Y))"
    shot "before-close"
    click $CLOSE_BUTTON_X $CLOSE_BUTTON_Y
    expect_exit_zero
    [ -e "$install_dir" ] && fail "closing installed something"
    [ -s "$ZARN_STANDIN_LOG" ] && fail "closing started $(cat "$ZARN_STANDIN_LOG")"
}

no_display_is_fatal() {
    step "without a display the window cannot be built"
    local status=0
    env -u DISPLAY "$package/zarn-setup" 2>"$root/no-display.stderr" || status=$?
    [ "$status" -ne 0 ] || fail "the program ended with 0 without a display"
    grep -qx "failed to build ZARN Setup window: no display: DISPLAY is not set" "$root/no-display.stderr" ||
        fail "without a display it said: $(cat "$root/no-display.stderr")"
    status=0
    DISPLAY=":9999" "$package/zarn-setup" 2>"$root/bad-display.stderr" || status=$?
    [ "$status" -ne 0 ] || fail "the program ended with 0 on a display that is not there"
    grep -qx "failed to build ZARN Setup window: cannot open display: :9999" "$root/bad-display.stderr" ||
        fail "on a missing display it said: $(cat "$root/bad-display.stderr")"
}

no_display_is_fatal
install_then_launch
uninstall_with_the_copy
close_button_ends_the_program
if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed; screenshots in $output" >&2
    exit 1
fi
echo "all end-to-end runs passed; screenshots in $output"
