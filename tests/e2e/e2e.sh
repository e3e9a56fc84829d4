#!/usr/bin/env bash
# End to end: the real courivane on an X11 desktop (Xvfb, openbox, trayer) against the demo
# server, looked at and clicked as a user would. Leaves no process behind, even when it fails.
# Usage: e2e.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    sleep 0.2
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    [ -f "$work/courivane.log" ] && sed 's/^/  courivane: /' "$work/courivane.log" | tail -20
    exit 1
}
# Waits up to $1 tenths of a second for the command to succeed.
wait_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

for tool in Xvfb openbox trayer xdotool import xwininfo; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 50 xdpyinfo || wait_for 50 xwininfo -root || fail "Xvfb did not start"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 80 --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)

read -r server_pid port < <(bash "$here/scripts/start-demo-server.sh" "$bin" "$work/demo-server.log") ||
    fail "the demo server did not start"
pids+=("$server_pid")
program="$work/program"
mkdir -p "$program"
cp "$bin"/courivane "$bin"/*.bmp "$bin"/*.png "$bin"/warning.wav "$program"/
bash "$here/scripts/demo-config.sh" "$program" "$port"
sleep 0.5 # let the window manager take the screen first

"$program/courivane" >"$work/courivane.log" 2>&1 &
app=$!
pids+=("$app")

# The panel: 3630 twips (242 pixels) wide, centred at the top of a 1280-pixel screen.
left=$(((1280 - 242) / 2))
lamp_x() { echo $((left + $1 / 15 + 12)); } # a picture's left in twips, to its centre in pixels
pixel() {
    import -window root "$work/shot.png" 2>/dev/null &&
        convert "$work/shot.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:
}
is_colour() { # x y r g b: within 60 of the colour in each channel
    local c
    c=$(pixel "$1" "$2") || return 1
    IFS=, read -r r g b <<<"$c"
    [ $((r > $3 ? r - $3 : $3 - r)) -lt 60 ] && [ $((g > $4 ? g - $4 : $4 - g)) -lt 60 ] &&
        [ $((b > $5 ? b - $5 : $5 - b)) -lt 60 ]
}

# First pass: Acme's SMTP fails (red), Eastgate's Receive warns (orange), the rest is green.
wait_for 150 is_colour "$(lamp_x 1445)" 12 220 0 0 || fail "the SMTP lamp did not turn red ($(pixel "$(lamp_x 1445)" 12))"
wait_for 50 is_colour "$(lamp_x 1805)" 12 255 128 0 || fail "the Receive lamp did not turn orange ($(pixel "$(lamp_x 1805)" 12))"
wait_for 50 is_colour "$(lamp_x 360)" 12 0 220 0 || fail "the ICMP lamp is not green ($(pixel "$(lamp_x 360)" 12))"
wait_for 50 is_colour "$(lamp_x 2885)" 12 0 220 0 || fail "the Con lamp is not green"
# No magenta anywhere on the screen.
convert "$work/shot.png" -fill black +opaque "#ff00ff" -format "%[fx:mean]" info: | grep -qx 0 ||
    fail "magenta shows on the screen"
echo "lamps: SMTP red, Receive orange, ICMP and Con green"

# The status button shows the summary window.
xdotool mousemove "$(lamp_x 3245)" 12 click 1
wait_for 50 xdotool search --onlyvisible --name "^Courivane Status" || fail "the summary window did not appear"
summary=$(xdotool search --onlyvisible --name "^Courivane Status" | head -1)
echo "summary window: $(xdotool getwindowname "$summary")"

# Its title-bar "Close": the 30-pixel-wide window over its title bar.
Y=$(xwininfo -id "$summary" | awk '/Absolute upper-left Y/ {print $NF}')
close=$(xwininfo -root -tree | awk -v y="$Y" '$0 ~ /30x[0-9]+\+/ { split($NF, a, "+"); if (a[3] < y) print $1 }' | head -1)
[ -n "$close" ] || fail "no title-bar Close button"
cx=$(xwininfo -id "$close" | awk '/Absolute upper-left X/ {print $NF}')
cy=$(xwininfo -id "$close" | awk '/Absolute upper-left Y/ {print $NF}')
echo "Close button at $cx,$cy; summary window client top at $Y"
xdotool mousemove $((cx + 15)) $((cy + 5)) click 1
wait_for 30 bash -c "! xdotool search --onlyvisible --name '^Courivane Status'" || fail "Close did not hide the summary window"
echo "Close hid the summary window"

# The settings button opens the settings dialog; Close Application ends the program.
xdotool mousemove "$(lamp_x 0)" 12 click 1
wait_for 50 xdotool search --onlyvisible --name "^Settings$" || fail "the settings dialog did not appear"
settings=$(xdotool search --onlyvisible --name "^Settings$" | head -1)
X=$(xwininfo -id "$settings" | awk '/Absolute upper-left X/ {print $NF}')
Y=$(xwininfo -id "$settings" | awk '/Absolute upper-left Y/ {print $NF}')
xdotool mousemove $((X + 2880 / 15 + 40)) $((Y + 120 / 15 + 8)) click 1
wait_for 50 bash -c "! kill -0 $app" || fail "Close Application did not end the program"
wait "$app"
echo "Close Application ended the program (exit $?)"
echo "1 passed, 0 failed"
