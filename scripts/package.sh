#!/usr/bin/env bash
# Builds Courivane and its Debian package: build/courivane_<version>_<arch>.deb (build-ci/ in CI).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
preset=default dir=build
[ -n "${CI:-}" ] && preset=ci dir=build-ci
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
cmake --build --preset "$preset" --target package
ls "$dir"/courivane_*.deb
