#!/usr/bin/env bash
# The road a user takes through the program, on a real X server: start it,
# dismiss the splash, open photographs through File > Open and the file
# dialog, run the four restorations from the Processing menu (the mask for
# the blotches, two clicks for the crack, a drag for the crease), paint a
# blotch mask and run Blotch with it, compare the result with its source,
# show the changes, switch windows, fit a window, zoom with the arrow keys
# and leave through File > Exit.
#
# usage: desktop_road.sh PROGRAM_DIR EXAMPLES_DIR PROBE OUT_DIR [full|quick]
#   PROGRAM_DIR   holds VeltroInterface and veltro.exe
#   EXAMPLES_DIR  the example photographs (copied, never changed)
#   PROBE         the screen_probe tool that finds pictures on screenshots
#   OUT_DIR       emptied, then receives the work files, the logs and a
#                 screenshot of every step (and failure.png on a failure)
#   quick         only opens the foxed page and runs Foxing (for an
#                 installed copy: proves that it starts and finds its engine)
#
# Every wait has a bound; the script never waits for ever.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
PROGRAM_DIR=$(cd "$1" && pwd)
EXAMPLES=$(cd "$2" && pwd)
PROBE=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
OUT=$4
MODE=${5:-full}

rm -rf "$OUT"
mkdir -p "$OUT/work" "$OUT/home/config" "$OUT/home/runtime" "$OUT/shots"
OUT=$(cd "$OUT" && pwd)
WORK=$OUT/work
chmod 700 "$OUT/home/runtime"
cp "$EXAMPLES"/*.jpg "$WORK"/
# A neutral current directory: the program also looks for its engine there.
cd "$OUT"

export HOME=$OUT/home
export XDG_CONFIG_HOME=$OUT/home/config
export XDG_CACHE_HOME=$OUT/home/cache
export XDG_RUNTIME_DIR=$OUT/home/runtime
unset QT_QPA_PLATFORM WAYLAND_DISPLAY SESSION_MANAGER
# A sanitized build reports leaks of the program's own; the system
# libraries' caches are not the program's.
export LSAN_OPTIONS=${LSAN_OPTIONS:-}

SETTINGS="$XDG_CONFIG_HOME/Local AppWizard-Generated Applications/VeltroInterface.conf"
XVFB_PID=""
WM_PID=""
PROGRAM_PID=""
STEP="start"
SHOT_NO=0
MAIN_WINDOW=""

log() { printf '[%5.1fs] %s\n' "$(awk -v s="$SECONDS" 'BEGIN{print s}')" "$*"; }

shot() {  # shot NAME: a screenshot of the whole screen
    SHOT_NO=$((SHOT_NO + 1))
    local file
    file=$(printf '%s/shots/%02d-%s.png' "$OUT" "$SHOT_NO" "$1")
    import -window root "$file"
}

cleanup() {
    local rc=$?
    if [ "$rc" -ne 0 ] && [ -n "${DISPLAY:-}" ] && [ -n "$XVFB_PID" ]; then
        import -window root "$OUT/failure.png" 2>/dev/null || true
        echo "desktop test failed during: $STEP (screenshots in $OUT)" >&2
        echo "--- program output ---" >&2
        tail -n 40 "$OUT/program.log" >&2 2>/dev/null || true
    fi
    for pid in $PROGRAM_PID $WM_PID $XVFB_PID; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $PROGRAM_PID $WM_PID $XVFB_PID; do
        wait "$pid" 2>/dev/null || true
    done
    exit "$rc"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# wait_for WHAT SECONDS COMMAND...: runs COMMAND until it succeeds.
wait_for() {
    local what=$1 limit=$2
    shift 2
    local end=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        if [ -n "$PROGRAM_PID" ] && ! kill -0 "$PROGRAM_PID" 2>/dev/null; then
            fail "the program ended while waiting for $what"
        fi
        if [ "$SECONDS" -ge "$end" ]; then
            [ -z "$MAIN_WINDOW" ] || echo "the main window's title: \"$(main_title)\"" >&2
            fail "timed out after ${limit}s waiting for $what"
        fi
        sleep 0.2
    done
}

step() {
    STEP=$1
    log "$STEP"
}

# --- The X server and a window manager ------------------------------------
# -displayfd picks a free display, so parallel runs never collide.
Xvfb -displayfd 5 -screen 0 1600x1000x24 -nolisten tcp 5>"$OUT/display" 2>"$OUT/xvfb.log" &
XVFB_PID=$!
wait_for "the X server" 15 grep -q '[0-9]' "$OUT/display"
export DISPLAY=":$(head -n1 "$OUT/display")"
openbox >"$OUT/openbox.log" 2>&1 &
WM_PID=$!
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for "the window manager" 15 wm_ready

# --- Helpers that look at the program ----------------------------------------
# A window's title is the document's, three blanks, then the zoom.
GAP="   "
main_title() { xdotool getwindowname "$MAIN_WINDOW"; }
title_is() { [ "$(main_title)" = "$1" ]; }
window_shown() { xdotool search --onlyvisible --name "^$1\$"; }
window_gone() { ! xdotool search --onlyvisible --name "^$1\$"; }
# The window that has the keyboard is the named one.
window_active() { [ "$(xdotool getactivewindow getwindowname)" = "$1" ]; }

# picture_shown IMAGE: the picture is drawn at full size somewhere on the
# screen; leaves its screen position in PICTURE_X and PICTURE_Y.
picture_shown() {
    import -window root "$OUT/probe.png"
    local found
    found=$("$PROBE" locate "$OUT/probe.png" "$1") || return 1
    read -r PICTURE_X PICTURE_Y _ <<<"$found"
}
picture_gone() { ! picture_shown "$1"; }
# picture_between IMAGE X0 X1: the same, its left edge between X0 and X1.
picture_between() {
    import -window root "$OUT/probe.png"
    local found
    found=$("$PROBE" locate "$OUT/probe.png" "$1" "$2" -1000 "$3" 2000) || return 1
    read -r PICTURE_X PICTURE_Y _ <<<"$found"
}

expect_title() {
    wait_for "the title \"$1\"" "${2:-30}" title_is "$1"
}

# expect_file PATH EXPECTED: the file holds exactly the expected text.
expect_file() {
    [ -f "$1" ] || fail "$1 was not written"
    if ! diff -u <(printf '%b' "$2") "$1" >"$OUT/diff.txt"; then
        cat "$OUT/diff.txt" >&2
        fail "$1 does not hold the expected lines"
    fi
}

# open_menu N: the Nth pop-up of the menu bar (0 = File), through the
# keyboard: Alt+F opens File, Right moves to the next pop-up.
open_menu() {
    xdotool key alt+f
    for ((i = 0; i < $1; i++)); do
        sleep 0.1
        xdotool key Right
    done
    sleep 0.2
}

# processing ITEM: Processing > ITEM (0 Blotch, 1 Crack, 2 Foxing, 3 Crease).
processing() {
    open_menu 3
    for ((i = 0; i < $1; i++)); do
        xdotool key Down
        sleep 0.05
    done
    shot "menu-processing"
    xdotool key Return
}

# open_file NAME: File > Open, the file name typed into the dialog: the
# whole path the first time, then the name alone (the dialog starts in the
# folder last opened from). A picture larger than the screen is not looked
# for (pass "large").
OPENED_BEFORE=""
open_file() {
    step "File > Open $1"
    open_menu 0
    xdotool key o
    wait_for "the Open dialog" 20 window_active "Open"
    sleep 0.3
    shot "open-dialog"
    if [ -z "$OPENED_BEFORE" ]; then
        xdotool type --delay 5 "$WORK/$1"
        OPENED_BEFORE=yes
    else
        xdotool type --delay 5 "$1"
    fi
    xdotool key Return
    wait_for "the Open dialog to close" 20 window_gone "Open"
    expect_title "VeltroInterface - $1${GAP}100.0%" 60
    if [ "${2:-}" != "large" ]; then
        wait_for "$1 on screen" 20 picture_shown "$WORK/$1"
        SOURCE_X=$PICTURE_X
        SOURCE_Y=$PICTURE_Y
    fi
    shot "opened-${1%.jpg}"
}

# accept_dialog TITLE: waits for the dialog and takes its proposals (Return).
accept_dialog() {
    wait_for "the dialog \"$1\"" 20 window_active "$1"
    sleep 0.3
    shot "dialog-${1%% *}"
    xdotool key Return
    wait_for "the dialog \"$1\" to close" 20 window_gone "$1"
}

# run_foxing: Processing > Foxing, its warning, then its dialog.
run_foxing() {
    processing 2
    wait_for "the warning before foxing" 20 window_active "VeltroInterface"
    sleep 0.3
    shot "foxing-warning"
    xdotool key Return
    accept_dialog "Foxing parameters"
}

# expect_result NAME: the result window is active and shows the picture.
expect_result() {
    # A result window is titled with the result's whole path.
    expect_title "VeltroInterface - $WORK/$1${GAP}100.0%" 120
    [ -s "$WORK/$1" ] || fail "the engine did not write $WORK/$1"
    wait_for "the result $1 on screen" 20 picture_shown "$WORK/$1"
    # Restorations change little, so the source window may look alike: the
    # result must be drawn in a window of its own.
    [ "$PICTURE_X,$PICTURE_Y" != "$SOURCE_X,$SOURCE_Y" ] ||
        fail "the result is not shown in a window of its own"
    "$PROBE" stddev "$OUT/probe.png" "$PICTURE_X" "$PICTURE_Y" 200 200 >/dev/null ||
        fail "the result window shows a blank picture"
    shot "result-${1%.jpg}"
}

# menu_item MENU ITEM: the ITEMth entry (separators not counted) of the
# MENUth pop-up of the menu bar.
menu_item() {
    open_menu "$1"
    for ((i = 0; i < $2; i++)); do
        xdotool key Down
        sleep 0.05
    done
    shot "menu-$1-$2"
    xdotool key Return
    sleep 0.3
}

# The newest record of changed pixels in the program's cache folder.
newest_changes() { ls -t "$XDG_CACHE_HOME/VeltroInterface/changes/"*.png | head -n1; }

# point_on_picture COLUMN ROW_FROM_BOTTOM HEIGHT: moves the pointer there.
point_on_picture() {
    xdotool mousemove $((PICTURE_X + $1)) $((PICTURE_Y + $3 - 1 - $2))
    sleep 0.1
}

# --- The program ---------------------------------------------------------------
step "start the program"
"$PROGRAM_DIR/VeltroInterface" >"$OUT/program.log" 2>&1 &
PROGRAM_PID=$!
wait_for "the main window" 30 window_shown "VeltroInterface"
MAIN_WINDOW=$(xdotool search --onlyvisible --name '^VeltroInterface$' | head -n1)

step "dismiss the splash with a key"
SPLASH=$SOURCE_DIR/res/splash.png
wait_for "the splash screen" 20 picture_shown "$SPLASH"
shot "splash"
xdotool key space
wait_for "the splash to go" 10 picture_gone "$SPLASH"
shot "empty-workspace"

if [ "$MODE" = "full" ]; then
    # Blotches: the mask lies beside the photograph with the proposed name.
    open_file blotch_photo.jpg
    step "Processing > Blotch"
    processing 0
    accept_dialog "Blotch parameters"
    expect_result blotch_photo_BLOTCH.jpg
    expect_file "$WORK/blotch.log" "DIST\t7\nCOST\t10\nMASKFILE\t$WORK/blotch_photo_mask.jpg\n"

    # The crack: two clicks on its ends.
    open_file crack_photo.jpg
    step "Processing > Crack, two clicks"
    processing 1
    accept_dialog "Crack parameters"
    point_on_picture 249 286 384
    xdotool click 1
    sleep 0.3
    point_on_picture 313 35 384
    shot "crack-line"
    xdotool click 1
    expect_result crack_photo_CRACK.jpg
    expect_file "$WORK/crack.log" "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\nY1\t249\nX1\t286\nY2\t313\nX2\t35\n"

    # The crease: a drag around it.
    open_file crease_photo.jpg
    step "Processing > Crease, a drag"
    processing 3
    accept_dialog "Crease parameters"
    point_on_picture 93 25 426
    xdotool mousedown 1
    for col in 150 250 350 450 515; do
        xdotool mousemove $((PICTURE_X + col)) $((PICTURE_Y + 426 - 1 - 25 - (col - 93) * 379 / 422))
        sleep 0.05
    done
    point_on_picture 515 404 426
    shot "crease-region"
    xdotool mouseup 1
    expect_result crease_photo_CREASE.jpg
    expect_file "$WORK/crease.log" "THR1\t10.000000\nQ\t22\nN\t25\nY1\t93\nX1\t25\nY2\t515\nX2\t404\n"
fi

if [ "$MODE" = "full" ]; then
    # A mask painted in the program: the blotched photograph again, with no
    # mask beside it; each blotch (known from the shipped mask) gets a click
    # of a brush that covers it.
    cp "$WORK/blotch_photo.jpg" "$WORK/painted_photo.jpg"
    open_file painted_photo.jpg
    PAINTED_X=$SOURCE_X
    PAINTED_Y=$SOURCE_Y
    step "Processing > Paint Blotch Mask"
    menu_item 3 4
    xdotool key bracketright bracketright bracketright
    while read -r cx cy _; do
        xdotool mousemove $((PAINTED_X + cx)) $((PAINTED_Y + cy)) click 1
        sleep 0.1
    done < <("$PROBE" blobs "$EXAMPLES/blotch_photo_mask.jpg")
    shot "painted-mask"
    xdotool key Escape
    step "Processing > Blotch with the painted mask"
    processing 0
    accept_dialog "Blotch parameters"
    expect_result painted_photo_BLOTCH.jpg
    expect_file "$WORK/blotch.log" "DIST\t7\nCOST\t10\nMASKFILE\t$WORK/painted_photo_mask.jpg\n"
    "$PROBE" covers "$WORK/painted_photo_mask.jpg" "$EXAMPLES/blotch_photo_mask.jpg" 0 >/dev/null ||
        fail "the painted mask misses blotches"
    CHANGES=$(newest_changes)

    step "Window > Compare with Source"
    menu_item 4 4
    sleep 0.5
    shot "compare"
    # Side by side: the source on the left, the result on its right at the same height.
    wait_for "the source" 10 picture_shown "$WORK/painted_photo.jpg"
    SX=$PICTURE_X SY=$PICTURE_Y
    wait_for "the result beside the source" 10 picture_between "$WORK/painted_photo_BLOTCH.jpg" $((SX + 300)) 1600
    RX=$PICTURE_X RY=$PICTURE_Y
    [ "$SY" = "$RY" ] || fail "the source and the result are not side by side ($SX,$SY and $RX,$RY)"

    step "a zoom step and a scroll move both"
    xdotool key Up
    expect_title "VeltroInterface - $WORK/painted_photo_BLOTCH.jpg${GAP}200.0%" 10
    xdotool key ctrl+shift+Tab
    expect_title "VeltroInterface - painted_photo.jpg${GAP}200.0%" 10
    xdotool key ctrl+Tab
    expect_title "VeltroInterface - $WORK/painted_photo_BLOTCH.jpg${GAP}200.0%" 10
    sleep 0.3
    import -window root "$OUT/before-scroll.png"
    xdotool mousemove $((RX + 200)) $((RY + 200)) click 5 click 5 click 5
    sleep 0.5
    shot "linked-scroll"
    import -window root "$OUT/after-scroll.png"
    ! "$PROBE" same "$OUT/before-scroll.png" "$SX" "$SY" "$OUT/after-scroll.png" "$SX" "$SY" 300 300 >/dev/null ||
        fail "the source did not scroll with the result"
    "$PROBE" same "$OUT/after-scroll.png" "$SX" "$SY" "$OUT/after-scroll.png" "$RX" "$RY" 300 300 >/dev/null ||
        fail "the source and the result do not show the same place"

    step "View > Show Changes"
    xdotool key ctrl+1
    expect_title "VeltroInterface - $WORK/painted_photo_BLOTCH.jpg${GAP}100.0%" 10
    menu_item 2 4
    sleep 0.5
    shot "show-changes"
    import -window root "$OUT/changes.png"
    "$PROBE" tint "$OUT/changes.png" "$WORK/painted_photo_BLOTCH.jpg" "$RX" "$RY" "$CHANGES" >"$OUT/tint.txt" ||
        fail "the changes are not tinted as the engine recorded them: $(cat "$OUT/tint.txt")"
    # The engine changed the painted blotches, with their soft border, and nothing else.
    "$PROBE" covers "$WORK/painted_photo_mask.jpg" "$CHANGES" 24 >/dev/null ||
        fail "the engine changed pixels away from the painted blotches"
    open_menu 4
    shot "window-menu"
    xdotool key Escape Escape
fi

open_file fox_page.jpg
step "Processing > Foxing"
run_foxing
expect_result fox_page_FOX.jpg
expect_file "$WORK/fox.log" "DIST\t3\nCOST\t2\nAMP\t0.050000\n"

if [ "$MODE" = "full" ]; then
    step "zoom with the arrow keys"
    xdotool key Up
    expect_title "VeltroInterface - $WORK/fox_page_FOX.jpg${GAP}200.0%" 10
    shot "zoom-200"
    xdotool key Down
    expect_title "VeltroInterface - $WORK/fox_page_FOX.jpg${GAP}100.0%" 10
    xdotool key Down
    expect_title "VeltroInterface - $WORK/fox_page_FOX.jpg${GAP}50.0%" 10
    shot "zoom-50"

    # The page is taller than the workspace: it fits at half its size, and
    # shows whole there.
    step "View > Fit in Window, Actual Pixels"
    xdotool key Up Up
    expect_title "VeltroInterface - $WORK/fox_page_FOX.jpg${GAP}200.0%" 10
    menu_item 2 2
    expect_title "VeltroInterface - $WORK/fox_page_FOX.jpg${GAP}50.0%" 10
    convert "$WORK/fox_page_FOX.jpg" -scale 50% "$OUT/fox_half.png"
    wait_for "the whole page on screen" 10 picture_shown "$OUT/fox_half.png"
    shot "fit-in-window"
    menu_item 2 3
    expect_title "VeltroInterface - $WORK/fox_page_FOX.jpg${GAP}100.0%" 10

    # Nothing the user does reaches the program while the engine works: a
    # page large enough for a run of some seconds, and Ctrl+O pressed while
    # the engine is still writing nothing. The key is held: the Open dialog
    # may only come once the run has ended and its result window is up.
    step "input held while the engine runs"
    convert "$WORK/fox_page.jpg" -resize 700% -quality 90 "$WORK/large_page.jpg"
    open_file large_page.jpg large
    rm -f "$WORK/fox.log"
    run_foxing
    end=$((SECONDS + 60))
    until [ -s "$WORK/fox.log" ]; do
        [ "$SECONDS" -lt "$end" ] || fail "the run did not start within 60s"
        sleep 0.02
    done
    xdotool key ctrl+o
    [ ! -e "$WORK/large_page_FOX.jpg" ] ||
        fail "the run ended before Ctrl+O was pressed; the page is too small to tell"
    shot "busy"
    wait_for "the held Ctrl+O to open the Open dialog" 120 window_active "Open"
    # The result window is up (its zoom shows in the title once it has
    # painted, which a loaded machine may not have done yet).
    case "$(main_title)" in
        "VeltroInterface - $WORK/large_page_FOX.jpg"*) ;;
        *) fail "the Open dialog came before the run's result window: input reached the program during the run" ;;
    esac
    shot "held-input-after-run"
    xdotool key Escape
    wait_for "the Open dialog to close" 20 window_gone "Open"

    # A run the engine refuses (amplitude 5: exit 4) says why and opens no
    # window.
    step "a failed run is reported, not shown"
    processing 2
    wait_for "the warning before foxing" 20 window_active "VeltroInterface"
    xdotool key Return
    wait_for "the dialog \"Foxing parameters\"" 20 window_active "Foxing parameters"
    sleep 0.3
    xdotool key shift+Tab   # from OK backwards: the amplitude
    xdotool type "5"
    shot "dialog-amplitude-5"
    xdotool key Return
    wait_for "the failure message" 60 window_active "VeltroInterface"
    sleep 0.3
    shot "failure-message"
    xdotool key Return
    wait_for "the failure message to close" 20 window_gone "VeltroInterface"
    [ ! -e "$WORK/large_page_FOX_FOX.jpg" ] || fail "the failed run left an output"
    title_is "VeltroInterface - $WORK/large_page_FOX.jpg${GAP}100.0%" ||
        fail "a window opened after the failed run"
fi

step "File > Exit"
open_menu 0
xdotool key x
end=$((SECONDS + 30))
while kill -0 "$PROGRAM_PID" 2>/dev/null; do
    [ "$SECONDS" -lt "$end" ] || fail "the program did not end within 30s of File > Exit"
    sleep 0.2
done
status=0
wait "$PROGRAM_PID" || status=$?
PROGRAM_PID=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"

step "the recent-file list"
[ -f "$SETTINGS" ] || fail "no settings were written ($SETTINGS)"
# The photographs the user opened, the newest first; results are not listed.
if [ "$MODE" = "full" ]; then
    recent="File1=$WORK/large_page.jpg\nFile2=$WORK/fox_page.jpg\nFile3=$WORK/painted_photo.jpg\nFile4=$WORK/crease_photo.jpg\n"
else
    recent="File1=$WORK/fox_page.jpg\n"
fi
grep '^File[0-9]=' "$SETTINGS" >"$OUT/recent.txt" || true
expect_file "$OUT/recent.txt" "$recent"
log "all steps passed; screenshots in $OUT/shots"
