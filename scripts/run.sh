#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Courivane and runs the monitor against the demo
# server, in a demo directory of its own (build/demo): no configuration you already have is
# touched. Without a display it prints one pass of courivane-check instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake --preset default >/dev/null
# Only what the monitor and the demo need: no tests, no benchmarks.
cmake --build --preset default --target courivane courivane-check courivane-demo-server courivane_assets

demo=build/demo
mkdir -p "$demo"
cp build/bin/courivane build/bin/courivane-check build/bin/*.bmp build/bin/*.png build/bin/warning.wav "$demo"/
read -r server_pid port < <(bash scripts/start-demo-server.sh build/bin "$demo/demo-server.log")
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
bash scripts/demo-config.sh "$demo" "$port"
echo "Demo server on 127.0.0.1:$port; configuration in $demo"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (DISPLAY is not set), so the monitor cannot show its panel."
    echo "One pass of courivane-check against the demo server instead:"
    echo
    "$demo/courivane-check" --config-dir "$demo" || true
    exit 0
fi
"$demo/courivane" "$@"
