#!/usr/bin/env bash
# Starts the demo server on a free port in the background; prints "PID PORT".
# Usage: start-demo-server.sh BUILD_BIN_DIR LOG_FILE
set -euo pipefail
bin=$1
log=$2
"$bin/courivane-demo-server" --port 0 >"$log" 2>&1 &
pid=$!
for _ in $(seq 200); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
    [ -n "$port" ] && { echo "$pid $port"; exit 0; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
kill "$pid" 2>/dev/null || true
echo "the demo server did not start: $(cat "$log")" >&2
exit 1
