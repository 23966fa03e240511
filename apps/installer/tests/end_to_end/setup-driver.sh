# Helpers that drive the setup program's window on an X server without a window manager:
# find the window, wait for the page's colours, click its buttons, take screenshots, read
# what the stand-in programs recorded. Sourced by the end-to-end run and by scripts/run.
# The caller sets `output` (the screenshot folder) and ZARN_STANDIN_LOG.

setup_pid=""
window_x=0
window_y=0

# The page's fixed layout in a 520 by 390 window, relative to the window's top-left corner:
# the rightmost footer button ("Установить", "Удалить ZARN", later "Запустить ZARN" or
# "Готово") ends 25 pixels from the right edge, 36 pixels high, 21 above the bottom; the close
# button is 28 pixels square, 13 pixels from the right edge, centred in the 44-pixel title bar.
readonly MAIN_BUTTON_X=480 MAIN_BUTTON_Y=340  # inside the button, clear of its text
readonly CLOSE_BUTTON_X=493 CLOSE_BUTTON_Y=22
readonly ACCENT="236 234 229" DANGER="209 59 66" SURFACE="38 38 36"
readonly PATIENCE=120  # seconds: a guard against a hang, not a measure of speed

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
fatal() {
    echo "FAIL: $*" >&2
    shot "failure"
    exit 1
}
step() { echo "--- $*"; }

shot_number=0
shot() {
    shot_number=$((shot_number + 1))
    import -window root "$output/$(printf '%02d' "$shot_number")-$1.png"
}

# wait_until DESCRIPTION COMMAND...: polls until the command succeeds.
wait_until() {
    local what=$1
    shift
    local deadline=$((SECONDS + PATIENCE))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || fatal "gave up waiting for $what"
        sleep 0.2
    done
}

# start_setup TITLE PROGRAM ARGS...: starts the program and finds its window by its title.
start_setup() {
    local title=$1
    shift
    "$@" &
    setup_pid=$!
    window=""
    local deadline=$((SECONDS + PATIENCE))
    while [ -z "$window" ]; do
        kill -0 "$setup_pid" 2>/dev/null || fatal "the program ended before its window \"$title\" appeared"
        [ "$SECONDS" -lt "$deadline" ] || fatal "no window \"$title\""
        window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | tail -n1)
        sleep 0.2
    done
    eval "$(xdotool getwindowgeometry --shell "$window")"
    window_x=$X
    window_y=$Y
    [ "$WIDTH" -eq 520 ] && [ "$HEIGHT" -eq 390 ] || fail "window \"$title\" is ${WIDTH}x$HEIGHT, not 520x390"
    # Centred on the screen (Xvfb has one monitor).
    local screen=($(xdotool getdisplaygeometry))
    local centre_x=$(((screen[0] - WIDTH) / 2)) centre_y=$(((screen[1] - HEIGHT) / 2))
    [ "$window_x" -eq "$centre_x" ] && [ "$window_y" -eq "$centre_y" ] ||
        fail "window \"$title\" is at $window_x,$window_y, not centred at $centre_x,$centre_y"
}

pixel_is() {
    local x=$1 y=$2 expected=($3)
    local seen
    seen=$(import -window root -crop "1x1+$((window_x + x))+$((window_y + y))" -depth 8 txt:- 2>/dev/null |
           sed -n 's/^0,0: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p')
    [ -n "$seen" ] || return 1
    local actual=($seen) i
    for i in 0 1 2; do
        local difference=$((actual[i] - expected[i]))
        [ "${difference#-}" -le 6 ] || return 1
    done
}

# Clicks, then takes the pointer off the window so that no hover colour hides the page's state.
click() {
    xdotool mousemove --sync "$((window_x + $1))" "$((window_y + $2))" click 1 mousemove --sync 0 0
}

# Waits for the program to end and checks that it ended with 0.
expect_exit_zero() {
    local deadline=$((SECONDS + PATIENCE))
    while kill -0 "$setup_pid" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fatal "the program did not end"
        sleep 0.2
    done
    wait "$setup_pid"
    local status=$?
    setup_pid=""
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}

# log_has PROGRAM TEXT: a recorded start of PROGRAM whose line holds TEXT (as JSON writes it).
log_has() { grep -F "\"program\":\"$1\"" "$ZARN_STANDIN_LOG" 2>/dev/null | grep -qF -- "$2"; }
log_count() { grep -cF "\"program\":\"$1\"" "$ZARN_STANDIN_LOG" 2>/dev/null; }

use_user_folders() {
    user=$1
    export USERPROFILE="$user" APPDATA="$user/AppData/Roaming" LOCALAPPDATA="$user/AppData/Local"
    mkdir -p "$APPDATA" "$LOCALAPPDATA"
    install_dir="$LOCALAPPDATA/ZARN"
}

