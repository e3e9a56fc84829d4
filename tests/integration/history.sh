#!/usr/bin/env bash
# The history of the real monitor: killed with SIGKILL while it runs, the file stays whole and
# the next start goes on recording into it; courivane-check --history reports what it holds.
# Usage: history.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="demo courivane"
needs sqlite3

program_dir "$work/program"
db="$work/program/History.sqlite"
passes() { sqlite3 "file:$db?mode=ro" "SELECT count(*) FROM passes" 2>/dev/null || echo 0; }
start_monitor() {
    QT_QPA_PLATFORM=offscreen "$work/program/courivane" >>"$work/courivane.log" 2>&1 &
    app=$!
    pids+=("$app")
}
at_least() { [ "$(passes)" -ge "$1" ]; }

start_monitor
wait_for 150 at_least 1 || fail "no pass recorded"
# Killed at once, at whatever point it stands: what it wrote stays whole.
kill -9 "$app"
wait "$app" 2>/dev/null
[ "$(sqlite3 "$db" "PRAGMA integrity_check")" = ok ] || fail "the file is damaged after SIGKILL"
[ "$(stat -c %a "$db")" = 600 ] || fail "the file is not private: $(stat -c %a "$db")"
before=$(passes)
echo "killed with SIGKILL after $before passes: the file is whole and private"

# The next start takes the lock the killed one left and goes on in the same file.
start_monitor
wait_for 150 at_least $((before + 1)) || fail "the restarted monitor recorded no pass"
ls "$work/program" | grep -q damaged && fail "a whole file was moved aside"
echo "the restarted monitor records into the same file ($(passes) passes)"

# The report reads while the monitor writes: the demo's SMTP failure of Acme Freight is there.
"$bin/courivane-check" --config-dir "$work/program" --history >"$work/history.csv" ||
    fail "courivane-check --history failed"
head -1 "$work/history.csv" | grep -qx $'company,service,start,end,duration_seconds,reason\r' ||
    fail "no CSV head: $(head -1 "$work/history.csv")"
grep -q '^Acme Freight,smtp,' "$work/history.csv" || fail "no SMTP outage of Acme Freight: $(cat "$work/history.csv")"
echo "courivane-check --history reports the outages while the monitor runs"
echo "3 passed, 0 failed"
