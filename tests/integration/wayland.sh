#!/usr/bin/env bash
# The real monitor in a Wayland session: a headless weston with XWayland, the demo server, and
# courivane as a desktop would start it (WAYLAND_DISPLAY and DISPLAY set, QT_QPA_PLATFORM not).
# It must choose X11 through XWayland, say so, map its panel at its width and finish a pass
# (the SMTP lamp turns red) without a crash. Then a Wayland session without XWayland: the
# monitor runs on Wayland itself, says why the panel cannot place itself, and its panel shows
# its lamps without the magenta around them. Usage: wayland.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="weston courivane"
needs weston Xwayland xwininfo import convert weston-screenshooter
[ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ] ||
    needs qt6-wayland-platform-plugin

export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY QT_QPA_PLATFORM
socket="courivane-$$"
weston --backend=headless-backend.so --xwayland --socket="$socket" --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
xwayland() {
    display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log")
    [ -n "$display" ] && [ -S "$XDG_RUNTIME_DIR/$socket" ]
}
wait_for 50 xwayland || fail "weston did not start XWayland"
xwayland

program_dir "$work/program"
WAYLAND_DISPLAY="$socket" DISPLAY="$display" "$work/program/courivane" >"$work/courivane.log" 2>&1 &
app=$!
pids+=("$app")
export DISPLAY=$display
panel_of() { panel=$(xwininfo -root -tree | awk '/"Courivane": \("courivane"/ && / 242x25\+/ {print $1; exit}') && [ -n "$panel" ]; }
wait_for 100 panel_of || fail "no panel of 242x25 mapped on XWayland"
panel_of
grep -q "runs on X11 through XWayland" "$work/courivane.log" || fail "the platform choice was not said on stderr"
echo "panel mapped on XWayland ($display) at 242x25; the choice was said on stderr"

# The end of the first pass: the SMTP lamp (its picture 1445 twips from the left) turns red.
smtp_red() {
    kill -0 "$app" || return 1
    local c r g
    c=$(pixel "$panel" 108 12) || return 1
    IFS=, read -r r g _ <<<"$c"
    [ "$r" -gt 180 ] && [ "$g" -lt 80 ]
}
wait_for 100 smtp_red || fail "the first pass did not end (SMTP lamp: $(pixel "$panel" 108 12))"
# It must still run a second on.
if wait_for 10 bash -c "! kill -0 $app 2>/dev/null"; then fail "the monitor ended after its first pass"; fi
echo "a full pass ended and the monitor runs on"
kill "$app"

# Wayland alone: a compositor that draws (pixman), so that a screenshot shows the panel.
pure="courivane-pure-$$"
weston --backend=headless-backend.so --use-pixman --width=800 --height=300 --socket="$pure" \
    --idle-time=0 --debug >"$work/weston-pure.log" 2>&1 &
pids+=($!)
wait_for 50 test -S "$XDG_RUNTIME_DIR/$pure" || fail "weston without XWayland did not start"
(cd "$work/program" && env -u DISPLAY WAYLAND_DISPLAY="$pure" ./courivane >"$work/pure.log" 2>&1) &
pure_app=$!
pids+=("$pure_app")
logs="weston-pure pure"
wait_for 100 grep -q "running on Wayland" "$work/pure.log" || fail "the monitor did not say it runs on Wayland"
# A shot of the whole output: every lamp of the first pass, red among them, and no magenta.
shot_ok() {
    kill -0 "$pure_app" || return 1
    rm -f "$work"/shots/*.png
    mkdir -p "$work/shots"
    (cd "$work/shots" && WAYLAND_DISPLAY="$pure" timeout 10 weston-screenshooter) || return 1
    local counts
    counts=$(convert "$work"/shots/*.png -depth 8 txt:- | awk -F'[(),]' 'NR > 1 {
        r = $3 + 0; g = $4 + 0; b = $5 + 0
        if (r > 230 && g < 30 && b > 230) magenta++
        if (r > 180 && g < 60 && b < 60) red++
    } END { print magenta + 0, red + 0 }')
    echo "$counts" >"$work/counts"
    read -r magenta red <<<"$counts"
    [ "$magenta" -eq 0 ] && [ "$red" -gt 100 ]
}
wait_for 100 shot_ok || fail "the panel on Wayland: magenta and red pixels $(cat "$work/counts" 2>/dev/null)"
echo "on Wayland alone the panel shows its lamps, red among them, and no magenta"
echo "2 passed, 0 failed"
