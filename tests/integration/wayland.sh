#!/usr/bin/env bash
# The real monitor in a Wayland session: a headless weston with XWayland, the demo server, and
# courivane as a desktop would start it (WAYLAND_DISPLAY and DISPLAY set, QT_QPA_PLATFORM not).
# It must choose X11 through XWayland, say so, map its panel at its width and finish a pass
# (the SMTP lamp turns red) without a crash. Usage: wayland.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="weston courivane"
needs weston Xwayland xwininfo import convert

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
echo "1 passed, 0 failed"
