#!/usr/bin/env bash
# courivane-exporter under a real Prometheus, with the contrib scrape configuration and rule,
# against the demo server: the states Prometheus stored are the demo script's first phase.
# Usage: prometheus.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="exporter prometheus"
needs prometheus promtool curl
demo "$work/config"
# A name with what a target list and a label value must escape, and a letter beyond ASCII.
printf 'Bang! "Quoted" Caf\xc3\xa9 \\ back\r\n127.0.0.1:%s\r\nblueheron\r\n' "$port" >>"$work/config/CompUserNames.Txt"

"$bin/courivane-exporter" --config-dir "$work/config" --listen 127.0.0.1:0 2>"$work/exporter.log" &
pids+=("$!")
exporter_port() { sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/exporter.log"; }
listening() { [ -n "$(exporter_port)" ]; }
wait_for 50 listening || fail "the exporter did not start"
exporter=127.0.0.1:$(exporter_port)

# The exporter's answers are what promtool accepts.
curl -sf "http://$exporter/probe?target=Acme+Freight" >"$work/probe.txt" || fail "no probe answer"
promtool check metrics <"$work/probe.txt" >"$work/promtool.log" 2>&1 || fail "promtool: $(cat "$work/promtool.log")"
curl -sf "http://$exporter/metrics" | promtool check metrics >"$work/promtool.log" 2>&1 ||
    fail "promtool on /metrics: $(cat "$work/promtool.log")"

# The contrib configuration, pointed at this exporter and scraping every second.
mkdir -p "$work/prom"
sed -e "s/127\.0\.0\.1:9810/$exporter/g" -e 's/scrape_interval: 1m/scrape_interval: 1s/' \
    -e 's/scrape_timeout: 20s/scrape_timeout: 1s/' -e 's/evaluation_interval: 1m/evaluation_interval: 1s/' \
    "$here/contrib/prometheus/prometheus.yml" >"$work/prom/prometheus.yml"
cp "$here/contrib/prometheus/courivane-rules.yml" "$work/prom/"
COURIVANE_CHECK="$bin/courivane-check" bash "$here/contrib/prometheus/courivane-targets.sh" \
    --config-dir "$work/config" >"$work/prom/courivane-targets.json" || fail "no target list"
grep -qF '"Acme Freight"' "$work/prom/courivane-targets.json" || fail "targets: $(cat "$work/prom/courivane-targets.json")"
promtool check config "$work/prom/prometheus.yml" >"$work/promtool.log" 2>&1 || fail "promtool: $(cat "$work/promtool.log")"
promtool check rules "$here/contrib/prometheus/courivane-rules.yml" >"$work/promtool.log" 2>&1 ||
    fail "promtool: $(cat "$work/promtool.log")"
# The rules fire as they should: not reset by one scrape that read unknown, and on no status.
cp "$here/tests/integration/courivane-rules.test.yml" "$work/prom/"
(cd "$work/prom" && promtool test rules courivane-rules.test.yml) >"$work/promtool.log" 2>&1 ||
    fail "promtool test rules: $(cat "$work/promtool.log")"
echo "ok: the rules fire as they should"

# A free port for Prometheus' own web side.
for _ in $(seq 20); do
    web=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$web") 2>/dev/null || break
done
prometheus --config.file="$work/prom/prometheus.yml" --storage.tsdb.path="$work/prom/data" \
    --web.listen-address="127.0.0.1:$web" >"$work/prometheus.log" 2>&1 &
pids+=("$!")

# Whether Prometheus holds the value 1 for the query.
holds_one() {
    curl -sf "http://127.0.0.1:$web/api/v1/query" --data-urlencode "query=$1" | grep -q '"value":\[[0-9.]*,"1"\]'
}
acme='courivane_service_status{company="Acme Freight",service="smtp",state="fail"}'
cedar='courivane_service_status{company="Cedar & Pine Law",service="smtp",state="ok"}'
# The demo's first phase lasts 25 s: whatever was scraped then is kept.
wait_for 600 holds_one "max_over_time(${acme}[5m])" || fail "Prometheus never stored $acme as 1"
echo "ok: $acme is 1"
wait_for 100 holds_one "$cedar" || fail "Prometheus does not hold $cedar as 1"
echo "ok: $cedar is 1"
bang='courivane_service_status{company="Bang! \"Quoted\" Café \\ back",service="smtp",state="ok"}'
wait_for 100 holds_one "max_over_time(${bang}[5m])" || fail "Prometheus does not hold $bang as 1"
echo "ok: $bang is 1"
wait_for 100 holds_one 'count(courivane_exporter_probes_total > 0)' || fail "the exporter's own counters were not scraped"
echo "ok: the exporter's counters were scraped"
