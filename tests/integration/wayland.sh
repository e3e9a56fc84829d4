#!/usr/bin/env bash
# The real monitor in a Wayland session: a headless weston with XWayland, the demo server, and
# courivane as a desktop would start it (WAYLAND_DISPLAY and DISPLAY set, QT_QPA_PLATFORM not).
# It must choose X11 through XWayland, say so, map its panel at its width and finish a pass
# (the SMTP lamp turns red) without a crash. Usage: wayland.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/background.sh
source "$here/tests/support/background.sh"
fail() {
    echo "FAIL: $*"
    for log in weston courivane; do
        [ -f "$work/$log.log" ] && sed "s/^/  $log: /" "$work/$log.log" | tail -15
    done
    exit 1
}
for tool in weston Xwayland xwininfo import convert; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY QT_QPA_PLATFORM
socket="courivane-$$"
weston --backend=headless-backend.so --xwayland --socket="$socket" --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
display=""
for _ in $(seq 50); do
    display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log")
    [ -n "$display" ] && [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
    sleep 0.1
done
[ -n "$display" ] || fail "weston did not start XWayland"

read -r server_pid port < <(bash "$here/scripts/start-demo-server.sh" "$bin" "$work/demo.log") ||
    fail "the demo server did not start"
pids+=("$server_pid")
program="$work/program"
mkdir -p "$program"
cp "$bin"/courivane "$bin"/*.bmp "$bin"/*.png "$bin"/warning.wav "$program"/
bash "$here/scripts/demo-config.sh" "$program" "$port"

WAYLAND_DISPLAY="$socket" DISPLAY="$display" "$program/courivane" >"$work/courivane.log" 2>&1 &
app=$!
pids+=("$app")

panel=""
for _ in $(seq 100); do
    panel=$(DISPLAY="$display" xwininfo -root -tree 2>/dev/null | awk '/"Courivane": \("courivane"/ && / 242x25\+/ {print $1; exit}')
    [ -n "$panel" ] && break
    sleep 0.1
done
[ -n "$panel" ] || fail "no panel of 242x25 mapped on XWayland"
grep -q "runs on X11 through XWayland" "$work/courivane.log" || fail "the platform choice was not said on stderr"
echo "panel mapped on XWayland ($display) at 242x25; the choice was said on stderr"

# The end of the first pass: the SMTP lamp (its picture 1445 twips from the left) turns red.
red=""
for _ in $(seq 100); do
    kill -0 "$app" 2>/dev/null || fail "the monitor ended during its first pass"
    red=$(DISPLAY="$display" import -window "$panel" "$work/panel.png" 2>/dev/null &&
        convert "$work/panel.png" -format "%[fx:int(255*p{108,12}.r)] %[fx:int(255*p{108,12}.g)]" info:)
    [ "${red%% *}" -gt 180 ] 2>/dev/null && [ "${red##* }" -lt 80 ] && break
    sleep 0.1
done
[ "${red%% *}" -gt 180 ] 2>/dev/null && [ "${red##* }" -lt 80 ] || fail "the first pass did not end (SMTP lamp: $red)"
sleep 1
kill -0 "$app" 2>/dev/null || fail "the monitor ended after its first pass"
echo "a full pass ended and the monitor runs on"
echo "1 passed, 0 failed"
