#!/usr/bin/env bash
# Writes the companies of Courivane's configuration as a Prometheus target list (file_sd, JSON)
# on standard output. Arguments go to courivane-check (for instance --config-dir DIR); set
# COURIVANE_CHECK where courivane-check is not on the PATH.
set -euo pipefail
names=$("${COURIVANE_CHECK:-courivane-check}" --list-companies "$@")
# courivane-check prints no control character; a backslash and a quote are escaped for JSON.
list=$(printf '%s\n' "$names" | sed -e '/^$/d' -e 's/\\/\\\\/g' -e 's/"/\\"/g' -e 's/.*/"&"/' |
    paste -sd, -)
printf '[{"targets": [%s]}]\n' "$list"
