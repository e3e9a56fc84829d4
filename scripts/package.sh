#!/usr/bin/env bash
# Builds Courivane and its Debian package: build/courivane_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
preset=default
[ -n "${CI:-}" ] && preset=ci
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
cmake --build --preset "$preset" --target package
ls build/courivane_*.deb
