#!/usr/bin/env bash
# The notices of the real monitor on a desktop without a tray: a session bus of its own, the
# desktop's notification-daemon on an X display, dbus-monitor reading every Notify call, and
# the demo server. The start-up notice names each new failure, a hostile company name reaches
# the notification as text and not markup; the next pass names only what is new then.
# Usage: notices.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="courivane daemon"
daemon=/usr/lib/notification-daemon/notification-daemon
needs Xvfb dbus-daemon dbus-monitor
[ -x "$daemon" ] || needs notification-daemon

display=":$((100 + $$ % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 50 xdpyinfo || wait_for 50 xwininfo -root || fail "Xvfb did not start"
read -r address < <(dbus-daemon --session --fork --print-address=1 --print-pid=3 3>"$work/bus.pid")
pids+=("$(cat "$work/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS=$address
dbus-monitor "interface='org.freedesktop.Notifications',member='Notify'" >"$work/notify.log" 2>&1 &
pids+=($!)
"$daemon" >"$work/daemon.log" 2>&1 &
pids+=($!)
owned() { dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q true; }
wait_for 50 owned || fail "notification-daemon did not take its name"

program_dir "$work/program"
# A company whose name is markup, on the demo's failing account.
printf '%s\r\n127.0.0.1:%s\r\nacme\r\n' '<b>Evil</b> & Co' "$port" >>"$work/program/CompUserNames.Txt"
QT_QPA_PLATFORM=xcb "$work/program/courivane" >"$work/courivane.log" 2>&1 &
app=$!
pids+=("$app")

# The Notify calls so far, one a line: the lines of a body joined by "|".
bodies() {
    awk '/^(method call|method return|signal|error) / {
             if (call != "") print call
             call = ""; inside = /member=Notify/; next
         }
         inside {call = call "|" $0}
         END {if (call != "") print call}' "$work/notify.log"
}
noticed() { [ "$(bodies | wc -l)" -ge "$1" ]; }
wait_for 200 noticed 1 || fail "no notice reached the notification service"
first=$(bodies | head -1)
echo "first notice: $first"
case "$first" in
*'Failed Services!'*'Acme Freight: SMTP failed'*'&lt;b&gt;Evil&lt;/b&gt; &amp; Co: SMTP failed'*) ;;
*) fail "the first notice does not name the new failures as text: $first" ;;
esac

# 31 s later the demo's second act: the bakery's SMTP fails and the clinic stops answering.
# That notice names those two and not Acme again.
wait_for 600 noticed 2 || fail "no notice for the next pass's new failures"
second=$(bodies | sed -n 2p)
echo "second notice: $second"
case "$second" in
*'Blue Heron Bakery: SMTP failed'*'Dunmore Clinic: unreachable'*) ;;
*) fail "the second notice does not name the new failures: $second" ;;
esac
case "$second" in *Acme*) fail "the second notice names Acme again: $second" ;; esac
echo "1 passed, 0 failed"
