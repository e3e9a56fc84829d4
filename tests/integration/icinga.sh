#!/usr/bin/env bash
# courivane-check inside a real Icinga 2 daemon: one service per demo company, states recorded
# by the engine compared with the demo script's first phase. Usage: icinga.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
command -v icinga2 >/dev/null || { echo "icinga2 is not installed (apt-get install icinga2-bin)"; exit 1; }

work=$(mktemp -d)
server_pid=""
daemon_pgid=""
cleanup() {
    [ -n "$daemon_pgid" ] && kill -TERM -- "-$daemon_pgid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    sleep 0.5
    [ -n "$daemon_pgid" ] && kill -KILL -- "-$daemon_pgid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

read -r server_pid port < <(bash "$top/scripts/start-demo-server.sh" "$bin" "$work/demo.log") || exit 1
mkdir -p "$work/config" "$work/perfdata" "$work/tmp" "$work/run" "$work/cache" "$work/spool" \
    "$work/log" "$work/lib"
bash "$top/scripts/demo-config.sh" "$work/config" "$port"

cat >"$work/icinga2.conf" <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
const ManubulonPluginDir = "/usr/lib/nagios/plugins"
const PluginContribDir = "/usr/lib/nagios/plugins"
const NodeName = "courivane-test"
const ZoneName = "courivane-test"
include <itl>
include <plugins>
include "$top/contrib/icinga2/courivane.conf"

object CheckerComponent "checker" { }
object PerfdataWriter "states" {
  service_perfdata_path = "$work/perfdata/service"
  host_perfdata_path = "$work/perfdata/host"
  service_temp_path = "$work/tmp/service"
  host_temp_path = "$work/tmp/host"
  service_format_template = "\$service.name\$\t\$service.state\$"
  rotation_interval = 1s
}
object Host "demo" {
  check_command = "dummy"
  vars.courivane_companies = [ "Acme Freight", "Blue Heron Bakery", "Cedar & Pine Law",
                               "Dunmore Clinic", "Eastgate Hotels" ]
  vars.courivane_config_dir = "$work/config"
  vars.courivane_plugin = "$bin/courivane-check"
  vars.courivane_check_interval = 3s
}
CONF
# The services come from the contrib file's own apply rule.
defines=(-DInitRunDir="$work/run" -DCacheDir="$work/cache" -DSpoolDir="$work/spool"
    -DLogDir="$work/log" -DDataDir="$work/lib")
export ICINGA2_USER=root ICINGA2_GROUP=root

icinga2 daemon -C -c "$top/contrib/icinga2/courivane.conf" "${defines[@]}" >"$work/validate-contrib.log" 2>&1 ||
    { cat "$work/validate-contrib.log"; echo "contrib/icinga2/courivane.conf does not validate"; exit 1; }
icinga2 daemon -C -c "$work/icinga2.conf" "${defines[@]}" >"$work/validate.log" 2>&1 ||
    { cat "$work/validate.log"; echo "the test configuration does not validate"; exit 1; }

setsid icinga2 daemon -c "$work/icinga2.conf" "${defines[@]}" >"$work/daemon.log" 2>&1 &
daemon_pgid=$!

expected=("Acme Freight:CRITICAL" "Blue Heron Bakery:OK" "Cedar & Pine Law:OK" "Dunmore Clinic:OK"
    "Eastgate Hotels:WARNING")
for _ in $(seq 30); do
    sleep 0.5
    ok=1
    for e in "${expected[@]}"; do
        grep -qF "courivane ${e%%:*}	${e##*:}" "$work"/perfdata/* "$work"/tmp/* 2>/dev/null || ok=0
    done
    [ $ok -eq 1 ] && break
done
status=0
for e in "${expected[@]}"; do
    if grep -qF "courivane ${e%%:*}	${e##*:}" "$work"/perfdata/* "$work"/tmp/* 2>/dev/null; then
        echo "ok: ${e%%:*} is ${e##*:}"
    else
        echo "FAIL: ${e%%:*} should be ${e##*:}"
        status=1
    fi
done
if [ $status -ne 0 ]; then
    echo "--- what the engine recorded"; cat "$work"/perfdata/* "$work"/tmp/* 2>/dev/null | tail -n 20
    echo "--- daemon log"; tail -n 40 "$work/daemon.log"
fi
exit $status
