#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Courivane and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh tests
cmake --preset default
cmake --build --preset default
ctest --preset default
