#!/usr/bin/env bash
# Installs the Debian packages Courivane needs to build and run, when any is missing; with the
# argument "tests", "fuzz" or "package", also what the tests, the fuzz targets or the package
# checks need beyond that.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6sql6-sqlite qt6-multimedia-dev qt6-httpserver-dev qt6-websockets-dev qtkeychain-qt6-dev
    libgl-dev libxcb1-dev
    fonts-liberation
    # The end-to-end check of the real program on an X11 desktop.
    xvfb xauth openbox trayer xdotool imagemagick x11-utils
)
# Beyond building: the monitoring engine, web server, HTTP proxy, session bus and Wayland
# compositor of the tests; the fuzzers' compiler; the package checkers.
case "${1:-}" in
tests) packages+=(icinga2-bin prometheus curl dbus-daemon weston xwayland qt6-wayland notification-daemon nginx-light tinyproxy openssl sqlite3) ;;
fuzz) packages+=(clang-14 libfuzzer-14-dev libclang-rt-14-dev) ;;
package) packages+=(lintian appstream desktop-file-utils dpkg-dev file curl) ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
elif command -v sudo >/dev/null; then
    sudo apt-get update
    sudo DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "Please install as root: apt-get install ${missing[*]}" >&2
    exit 1
fi
