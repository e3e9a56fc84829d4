#!/usr/bin/env bash
# End to end: the real courivane on an X11 desktop (Xvfb, openbox, trayer) against the demo
# server, looked at and clicked as a user would. Leaves no process behind, even when it fails.
# Usage: e2e.sh BUILD_BIN_DIR [installed]
# With "installed", the program under test is /usr/bin/courivane, its configuration in
# $XDG_CONFIG_HOME/courivane and its pictures in /usr/share/courivane, as a package puts them.
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="courivane"
needs Xvfb openbox trayer xdotool import xwininfo

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 50 xdpyinfo || wait_for 50 xwininfo -root || fail "Xvfb did not start"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 80 --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)

if [ "${2:-}" = installed ]; then
    export XDG_CONFIG_HOME="$work/xdg"
    program="$XDG_CONFIG_HOME/courivane"
    demo "$program"
    exe=/usr/bin/courivane
else
    program="$work/program"
    program_dir "$program"
    exe="$program/courivane"
fi
# --help and --version answer without any display.
env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --help >"$work/help.txt" 2>&1 ||
    fail "--help without a display failed: $(head -3 "$work/help.txt")"
grep -q '^Usage: courivane' "$work/help.txt" || fail "--help printed no usage"
env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --version | grep -q '^Courivane ' ||
    fail "--version without a display failed"

sed -i '3s/^NO/YES/' "$program/Proxy.Txt" # Make Moveable, for the drag further down
# The window manager takes the screen first.
wait_for 50 bash -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "no window manager"

start_app() { # scale
    QT_SCALE_FACTOR=$1 "$exe" >"$work/courivane.log" 2>&1 &
    app=$!
    pids+=("$app")
}
start_app 1

# The panel: 3630 twips (242 pixels) wide, centred at the top of a 1280-pixel screen.
left=$(((1280 - 242) / 2))
lamp_x() { echo $((left + $1 / 15 + 12)); } # a picture's left in twips, to its centre in pixels
is_colour() { # x y r g b: within 60 of the colour in each channel
    local c
    c=$(pixel root "$1" "$2") || return 1
    IFS=, read -r r g b <<<"$c"
    [ $((r > $3 ? r - $3 : $3 - r)) -lt 60 ] && [ $((g > $4 ? g - $4 : $4 - g)) -lt 60 ] &&
        [ $((b > $5 ? b - $5 : $5 - b)) -lt 60 ]
}
# The children of a window as "id x y w h" lines, positions relative to it.
children() {
    xwininfo -children -id "$1" | awk '$1 ~ /^0x/ { g = $(NF-1); split(g, a, /[x+]/); print $1, a[3], a[4], a[1], a[2] }'
}
origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {print x, $NF}'; }
# Whether window $1 stands at $2,$3, give or take the window manager's frame.
at() {
    local x y
    read -r x y < <(origin "$1")
    [ $((x - $2)) -ge -40 ] && [ $((x - $2)) -le 40 ] && [ $((y - $3)) -ge -40 ] && [ $((y - $3)) -le 40 ]
}
moved_from() { [ "$(origin "$1")" != "$2 $3" ]; }
click_close() {
    local x y
    read -r x y < <(origin "${close%% *}")
    xdotool mousemove $((x + cw / 2)) $((y + ch / 2)) click 1
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q "IsViewable"; }
visible_summary() { xdotool search --onlyvisible --name "^Courivane Status" | head -1; }
# Finds the summary window's caption, its "Close" button and its close box: sets summary,
# caption_h, close (id x y w h) and box (id x y w h), and checks where "Close" stands.
# find_caption without failing: whether the caption is laid out as it checks.
caption_laid_out() { (find_caption) >/dev/null 2>&1; }
find_caption() {
    summary=$(visible_summary)
    [ -n "$summary" ] || fail "no summary window on screen"
    local width
    width=$(xwininfo -id "$summary" | awk '/Width:/ {print $2}')
    read -r caption _ _ _ caption_h < <(children "$summary" | awk -v w="$width" '$4 > w / 2 && $5 < 80' | sort -k3 -n | head -1)
    [ -n "${caption:-}" ] || fail "the summary window has no caption"
    read -r box < <(children "$caption" | sort -k2 -n | tail -1)
    read -r close < <(children "$caption" | sort -k2 -n | tail -2 | head -1)
    read -r _ bx by bw bh <<<"$box"
    read -r _ cx cy cw ch <<<"$close"
    [ "$cw" -ge 30 ] && [ "$cy" -ge 0 ] && [ $((cy + ch)) -le "$caption_h" ] ||
        fail "Close ${cw}x${ch}+$cx+$cy is not inside the ${caption_h}-pixel caption"
    [ $((cx + cw)) -lt "$bx" ] || fail "Close (right edge $((cx + cw))) is not left of the close box ($bx)"
    [ $((by + bh)) -le "$caption_h" ] || fail "the close box sticks out of the caption"
}

# First pass: Acme's SMTP fails (red), Eastgate's Receive warns (orange), the rest is green.
wait_for 150 is_colour "$(lamp_x 1445)" 12 220 0 0 || fail "the SMTP lamp did not turn red ($(pixel root "$(lamp_x 1445)" 12))"
wait_for 50 is_colour "$(lamp_x 1805)" 12 255 128 0 || fail "the Receive lamp did not turn orange ($(pixel root "$(lamp_x 1805)" 12))"
wait_for 50 is_colour "$(lamp_x 360)" 12 0 220 0 || fail "the ICMP lamp is not green ($(pixel root "$(lamp_x 360)" 12))"
wait_for 50 is_colour "$(lamp_x 2885)" 12 0 220 0 || fail "the Con lamp is not green"
# No magenta anywhere on the screen.
convert "$work/shot.png" -fill black +opaque "#ff00ff" -format "%[fx:mean]" info: | grep -qx 0 ||
    fail "magenta shows on the screen"
echo "lamps: SMTP red, Receive orange, ICMP and Con green"

# The status button shows the summary window, with "Close" in its caption left of the close box.
status_button() { xdotool mousemove "$(lamp_x 3245)" 12 click 1; }
status_button
wait_for 50 visible_summary || fail "the summary window did not appear"
wait_for 30 find_caption
find_caption
echo "summary window: $(xdotool getwindowname "$summary"); caption $caption_h px, Close ${cw}x${ch}, close box ${bw}x${bh}"
close1_h=$ch caption1_h=$caption_h box1_w=$bw

# A desktop switch is the window manager's to finish; an operator's next click comes after it.
go_desktop() {
    xdotool set_desktop "$1"
    wait_for 30 bash -c "[ \"\$(xdotool get_desktop)\" = $1 ]" || fail "the window manager did not switch to desktop $1"
}

# The panel shows on every virtual desktop.
panel=$(xdotool search --onlyvisible --name "^Courivane$" | head -1)
go_desktop 1
# The lamp may be blinking still: red comes back within the blink.
panel_here() { viewable "$panel" && is_colour "$(lamp_x 1445)" 12 220 0 0; }
wait_for 30 panel_here || fail "the panel is not on desktop 2"
go_desktop 0
echo "the panel shows on desktop 2 as well"

# Moved and resized, it keeps "Close" in place.
xdotool windowmove "$summary" 60 140
xdotool windowsize "$summary" 900 500
wait_for 30 bash -c "xwininfo -id $summary | grep -q 'Width: 900'" || fail "the summary window did not take its new size"
wait_for 30 caption_laid_out || fail "the caption did not follow the new size"
find_caption
echo "after a move and a resize: Close at +$cx+$cy, close box at +$bx+$by"

# Minimised, or on another desktop: no "Close" on screen; the status button brings it back.
xdotool windowminimize "$summary"
wait_for 30 bash -c "! xdotool search --onlyvisible --name '^Courivane Status'" || fail "the summary window did not minimise"
viewable "${close%% *}" && fail "Close stays on screen while its window is minimised"
status_button
wait_for 50 visible_summary || fail "the status button did not bring the minimised window back"
wait_for 30 find_caption
find_caption
viewable "${close%% *}" || fail "Close did not come back with its window"
echo "minimised and brought back by the status button"
go_desktop 1
wait_for 30 bash -c "! xwininfo -id ${close%% *} | grep -q IsViewable" || fail "Close stays on screen on another desktop"
go_desktop 0
wait_for 30 viewable "${close%% *}" || fail "Close did not come back with its desktop"
echo "another desktop: no Close there"
# Minimised, then the operator is on another desktop: the status button brings it there, restored.
xdotool windowminimize "$summary"
wait_for 30 bash -c "! xdotool search --onlyvisible --name '^Courivane Status'" || fail "the summary window did not minimise"
go_desktop 1
status_button
wait_for 50 viewable "$summary" || fail "the status button left the minimised window minimised on desktop 2: $(xprop -id $summary _NET_WM_DESKTOP WM_STATE _NET_WM_STATE | tr "\n" " ") current $(xdotool get_desktop)"
go_desktop 0
status_button
echo "minimised, then on another desktop: restored where the operator is"

# Left on another desktop, or moved off the screen: the status button brings it here, whole.
on_desktop() { [ "$(xdotool get_desktop_for_window "$summary" 2>/dev/null)" = "$1" ]; }
inside_screen() {
    local x y w h
    read -r x y < <(origin "$1")
    read -r w h < <(xwininfo -id "$1" | awk '/Width:/ {w = $2} /Height:/ {print w, $2}')
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1280 ] && [ $((y + h)) -le 800 ]
}
xdotool set_desktop_for_window "$summary" 1
wait_for 30 on_desktop 1 || fail "the summary window did not go to desktop 2"
status_button
wait_for 50 on_desktop 0 || fail "the status button left the summary window on desktop 2"
wait_for 30 viewable "$summary" || fail "the summary window is not in view after the status button"
read -r sx sy < <(origin "$summary")
xdotool windowmove "$summary" 1250 780
wait_for 30 moved_from "$summary" "$sx" "$sy" || fail "the summary window did not move off the screen"
status_button
wait_for 50 inside_screen "$summary" || fail "the status button left the summary window off the screen"
# Off the top, it comes back below the panel (25 pixels high), its Close box clear of it.
below_panel() { inside_screen "$1" && [ "$(origin "$1" | cut -d' ' -f2)" -ge 25 ]; }
read -r sx sy < <(origin "$summary")
xdotool windowmove "$summary" 500 -300
wait_for 30 moved_from "$summary" "$sx" "$sy" || fail "the summary window did not move off the top"
status_button
wait_for 50 below_panel "$summary" || fail "the summary window came back under the panel: $(origin "$summary")"
echo "brought back from desktop 2 and from off the screen, clear of the panel"

# A drag from the caption's middle moves the window by the pointer's movement.
xdotool windowmove "$summary" 100 150
wait_for 30 at "$summary" 100 150 || fail "the summary window did not move to 100,150"
read -r sx sy < <(origin "$summary")
xdotool mousemove $((sx + 325)) $((sy + 3 + caption_h / 2)) mousedown 1
for step in 1 2 3 4 5; do xdotool mousemove --sync $((sx + 325 + 10 * step)) $((sy + 3 + caption_h / 2 + 8 * step)); done
xdotool mouseup 1
wait_for 30 moved_from "$summary" "$sx" "$sy"
read -r nx ny < <(origin "$summary")
near() { [ $(($1 - $2)) -ge -2 ] && [ $(($1 - $2)) -le 2 ]; }
near $((nx - sx)) 50 && near $((ny - sy)) 40 || fail "a caption drag of 50,40 moved the window by $((nx - sx)),$((ny - sy))"
wait_for 30 find_caption
find_caption
echo "a caption drag moved the window by the pointer's movement"

# "Close" hides the window, and itself with it.
click_close
wait_for 30 bash -c "! xdotool search --onlyvisible --name '^Courivane Status'" || fail "Close did not hide the summary window"
viewable "${close%% *}" && fail "Close stays on screen after hiding its window"
echo "Close hid the summary window"

# A drag with the right button moves the panel, and the gear still opens Settings afterwards.
xdotool mousemove "$(lamp_x 360)" 12 mousedown 3
for step in 1 2 3 4 5; do xdotool mousemove --sync "$(( $(lamp_x 360) + 20 * step ))" $((12 + 20 * step)); done
xdotool mouseup 3
panel=$(xdotool search --onlyvisible --name "^Courivane$" | head -1)
panel_moved() { local y; read -r _ y < <(origin "$panel"); [ "$y" -gt 50 ]; }
wait_for 30 panel_moved
read -r px py < <(origin "$panel")
[ "$py" -gt 50 ] || fail "the right-button drag did not move the panel (at $px,$py)"
left=$px
xdotool mousemove $((px + 12)) $((py + 12)) click 1
wait_for 50 xdotool search --onlyvisible --name "^Settings$" || fail "after a right-button drag the gear does not open Settings"
echo "right-dragged the panel to $px,$py; the gear still opens Settings"

# A dialog moved over the panel stays below it.
settings=$(xdotool search --onlyvisible --name "^Settings$" | head -1)
xdotool windowmove "$settings" $((px - 20)) "$py"
wait_for 20 is_colour "$(lamp_x 360)" $((py + 12)) 0 220 0 || fail "the Settings dialog covers the panel ($(pixel root "$(lamp_x 360)" $((py + 12))))"
xdotool windowmove "$settings" 100 300
wait_for 30 at "$settings" 100 300 || fail "the Settings dialog did not move away"
echo "the panel stays above a dialog moved over it"

# A left double-click on a lamp puts the moved panel back at the top, Make Moveable on or not.
xdotool mousemove "$(lamp_x 360)" $((py + 12)) click --repeat 2 --delay 80 1
panel_home() { local y; read -r _ y < <(origin "$panel"); [ "$y" -lt 5 ]; }
wait_for 30 panel_home || fail "a left double-click on a lamp did not put the moved panel back"
echo "a left double-click put the panel back at the top"

# Close Application asks once, and ends the program on "Yes".
settings=$(xdotool search --onlyvisible --name "^Settings$" | head -1)
read -r X Y < <(origin "$settings")
xdotool mousemove $((X + 2880 / 15 + 40)) $((Y + 120 / 15 + 8)) click 1
question() { xdotool search --onlyvisible --name "^Courivane$" | head -1; }
wait_for 30 bash -c "xdotool search --onlyvisible --name '^Courivane$' | grep -q ." || fail "Close Application did not ask"
xdotool windowactivate --sync "$(question)" key --clearmodifiers alt+y
wait_for 50 bash -c "! kill -0 $app" || fail "Close Application did not end the program"
wait "$app"
echo "Close Application ended the program (exit $?)"

# Twice the scale: caption, "Close" and close box twice the size, and "Close" still works.
start_app 2
left=$(((1280 - 2 * 242) / 2))
lamp_x() { echo $((left + 2 * ($1 / 15 + 12))); }
wait_for 150 is_colour "$(lamp_x 1445)" 24 220 0 0 || fail "at scale 2 the SMTP lamp did not turn red"
xdotool mousemove "$(lamp_x 3245)" 24 click 1
wait_for 50 visible_summary || fail "at scale 2 the summary window did not appear"
wait_for 30 find_caption
find_caption
twice() { [ $(($1 - 2 * $2)) -ge -3 ] && [ $(($1 - 2 * $2)) -le 3 ]; }
twice "$caption_h" "$caption1_h" && twice "$ch" "$close1_h" && twice "$bw" "$box1_w" ||
    fail "at scale 2: caption $caption_h, Close height $ch, close box $bw (at 1: $caption1_h, $close1_h, $box1_w)"
click_close
wait_for 30 bash -c "! xdotool search --onlyvisible --name '^Courivane Status'" || fail "at scale 2 Close did not hide the summary window"
echo "scale 2: caption $caption_h px, Close height $ch, close box $bw; Close hides the window"

# The accounts dialog fits the screen at scale 2.
xdotool mousemove $((left + 24)) 24 click 1
wait_for 50 xdotool search --onlyvisible --name "^Settings$" || fail "at scale 2 the gear did not open Settings"
settings=$(xdotool search --onlyvisible --name "^Settings$" | head -1)
read -r X Y < <(origin "$settings")
xdotool mousemove $((X + 2 * (2880 / 15 + 56))) $((Y + 2 * (1200 / 15 + 8))) click 1
wait_for 50 xdotool search --onlyvisible --name "^Accounts$" || fail "at scale 2 Settings did not open Accounts"
accounts=$(xdotool search --onlyvisible --name "^Accounts$" | head -1)
wait_for 30 inside_screen "$accounts" || fail "at scale 2 the accounts dialog does not fit the screen: $(xwininfo -id "$accounts" | grep -E 'Absolute|Width|Height' | tr -s ' \n' ' ')"
echo "scale 2: the accounts dialog fits the screen"
kill -TERM "$app"
wait "$app"
echo "1 passed, 0 failed"
