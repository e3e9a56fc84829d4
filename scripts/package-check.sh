#!/usr/bin/env bash
# The package as an operator meets it: built, checked by lintian, desktop-file-validate and
# appstreamcli, installed with apt, its courivane-check run against the demo server with a
# configuration in XDG_CONFIG_HOME, the desktop test run against /usr/bin/courivane, and removed
# again, even on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh package

bash scripts/package.sh
dir=build
[ -n "${CI:-}" ] && dir=build-ci
deb=$(ls "$dir"/courivane_*.deb | head -1)
lintian --fail-on error,warning --allow-root "$deb"
desktop-file-validate packaging/org.courivane.Courivane.desktop
appstreamcli validate --no-net packaging/org.courivane.Courivane.metainfo.xml
# Without XWayland the monitor needs Qt's Wayland platform.
dpkg-deb -f "$deb" Recommends | grep -qw qt6-wayland || { echo "the package does not recommend qt6-wayland"; exit 1; }
echo "lintian, desktop-file-validate and appstreamcli: no error, no warning"

work=$(mktemp -d)
server_pid=""
exporter_pid=""
# Only what this check installed is removed again: a courivane installed before stays.
installed_before=no
dpkg-query -W -f='${Status}' courivane 2>/dev/null | grep -q "install ok installed" && installed_before=yes
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    [ -n "$exporter_pid" ] && kill "$exporter_pid" 2>/dev/null
    [ "$installed_before" = yes ] ||
        DEBIAN_FRONTEND=noninteractive apt-get remove -y courivane >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "./$deb"
[ -x /usr/bin/courivane ] && [ -f /usr/share/courivane/green.bmp ] || { echo "the package did not install"; exit 1; }

read -r server_pid port < <(bash scripts/start-demo-server.sh /usr/bin "$work/demo.log")
mkdir -p "$work/xdg/courivane"
bash scripts/demo-config.sh "$work/xdg/courivane" "$port"
status=0
XDG_CONFIG_HOME="$work/xdg" /usr/bin/courivane-check >"$work/check.txt" || status=$?
head -1 "$work/check.txt"
[ "$status" -eq 2 ] && grep -q "^COURIVANE CRITICAL - 5 accounts" "$work/check.txt" ||
    { echo "the installed courivane-check did not read its XDG configuration (exit $status)"; exit 1; }
# The README, the engines' examples, and the target list's script ready to run as installed.
for doc in README.md.gz examples/icinga2/courivane.conf examples/prometheus/courivane-rules.yml; do
    [ -f "/usr/share/doc/courivane/$doc" ] || { echo "the package holds no $doc"; exit 1; }
done
XDG_CONFIG_HOME="$work/xdg" /usr/share/courivane/courivane-targets.sh | grep -qF '"Acme Freight"' ||
    { echo "the installed courivane-targets.sh did not write the target list"; exit 1; }
# The installed exporter answers a probe from the same configuration.
XDG_CONFIG_HOME="$work/xdg" /usr/bin/courivane-exporter --listen 127.0.0.1:0 2>"$work/exporter.log" &
exporter_pid=$!
for _ in $(seq 50); do
    exporter=$(sed -n 's|.*listening on http://\(127\.0\.0\.1:[0-9]*\)/.*|\1|p' "$work/exporter.log")
    [ -n "$exporter" ] && break
    sleep 0.1
done
probe=$(curl -sf "http://$exporter/probe?target=Acme+Freight" || true)
kill "$exporter_pid"
exporter_pid=""
grep -q '^courivane_probe_success 1$' <<<"$probe" ||
    { echo "the installed courivane-exporter did not answer a probe: $(cat "$work/exporter.log")"; exit 1; }
kill "$server_pid"
server_pid=""

bash tests/e2e/e2e.sh /usr/bin installed
echo "installed package: courivane-check, courivane-exporter and the desktop test passed; removing it"
