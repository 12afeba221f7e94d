#!/usr/bin/env bash
set -uo pipefail
dir=${1:?usage: pg-stop.sh DIR}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
runas=()
[ "$(id -u)" -eq 0 ] && runas=(runuser -u postgres --)
"${runas[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast stop >/dev/null 2>&1 || true
