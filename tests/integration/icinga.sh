#!/usr/bin/env bash
# courivane-check inside a real Icinga 2 daemon: one service per demo company, states recorded
# by the engine compared with the demo script's first phase. Usage: icinga.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="daemon"
needs icinga2
demo "$work/config"
# A name an engine's object names cannot hold as it is, with quotes and a letter beyond ASCII.
printf 'Bang! "Quoted" Caf\xc3\xa9\r\n127.0.0.1:%s\r\nblueheron\r\n' "$port" >>"$work/config/CompUserNames.Txt"
mkdir -p "$work"/{perfdata,tmp,run,cache,spool,log,lib}
cat >"$work/icinga2.conf" <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
const ManubulonPluginDir = "/usr/lib/nagios/plugins"
const PluginContribDir = "/usr/lib/nagios/plugins"
const NodeName = "courivane-test"
const ZoneName = "courivane-test"
include <itl>
include <plugins>
include "$here/contrib/icinga2/courivane.conf"

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
                               "Dunmore Clinic", "Eastgate Hotels", "Bang! \"Quoted\" Café" ]
  vars.courivane_config_dir = "$work/config"
  vars.courivane_plugin = "$bin/courivane-check"
  vars.courivane_check_interval = 3s
}
CONF
# The services come from the contrib file's own apply rule.
defines=(-DInitRunDir="$work/run" -DCacheDir="$work/cache" -DSpoolDir="$work/spool"
    -DLogDir="$work/log" -DDataDir="$work/lib")
export ICINGA2_USER=root ICINGA2_GROUP=root
for conf in "$here/contrib/icinga2/courivane.conf" "$work/icinga2.conf"; do
    icinga2 daemon -C -c "$conf" "${defines[@]}" >"$work/daemon.log" 2>&1 || fail "$conf does not validate"
done
setsid icinga2 daemon -c "$work/icinga2.conf" "${defines[@]}" >"$work/daemon.log" 2>&1 &
pids+=("-$!")

expected=("Acme Freight:CRITICAL" "Blue Heron Bakery:OK" "Cedar & Pine Law:OK" "Dunmore Clinic:OK"
    "Eastgate Hotels:WARNING" "Bang_ \"Quoted\" Café:OK")
recorded() { grep -qF "courivane ${1%%:*}	${1##*:}" "$work"/perfdata/* "$work"/tmp/*; }
all_recorded() { for e in "${expected[@]}"; do recorded "$e" || return 1; done; }
wait_for 150 all_recorded
for e in "${expected[@]}"; do
    recorded "$e" 2>/dev/null || fail "${e%%:*} should be ${e##*:}; the engine recorded: $(cat "$work"/perfdata/* "$work"/tmp/* 2>/dev/null | tail -n 20)"
    echo "ok: ${e%%:*} is ${e##*:}"
done
