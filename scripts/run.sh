#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Courivane and starts the monitor.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/bin/courivane "$@"
