#!/usr/bin/env bash
# Writes a demo configuration into DIR for the demo server on 127.0.0.1:PORT.
# Usage: demo-config.sh DIR PORT
set -euo pipefail
dir=$1
port=$2
# Sound, popups, fixed panel, split Web, lamps, all rows, grouped, no proxy.
printf 'YES\r\nYES\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n' >"$dir/Proxy.Txt"
: >"$dir/CompUserNames.Txt"
for entry in "Acme Freight:acme" "Blue Heron Bakery:blueheron" "Cedar & Pine Law:cedarpine" \
    "Dunmore Clinic:dunmore" "Eastgate Hotels:eastgate"; do
    printf '%s\r\n127.0.0.1:%s\r\n%s\r\n' "${entry%%:*}" "$port" "${entry##*:}" >>"$dir/CompUserNames.Txt"
done
