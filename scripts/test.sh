#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Courivane and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh tests
# CI builds with warnings as errors, in build-ci/ so that a later default build is not.
preset=default
[ -n "${CI:-}" ] && preset=ci
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
