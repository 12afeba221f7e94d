#!/usr/bin/env bash
# Starts a throwaway PostgreSQL server in DIR (own data folder, unix socket, free port) and
# prints its URI. Stop it with: scripts/pg-stop.sh DIR
set -euo pipefail
dir=${1:?usage: pg-start.sh DIR}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
runas=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres:postgres "$dir"
  chmod 700 "$dir"
  runas=(runuser -u postgres --)
fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"${runas[@]}" "$bin/initdb" -D "$dir/data" -U velmora -A trust -E UTF8 --no-locale >"$dir/initdb.log" 2>&1
# One login must give a password, so that tests can prove what supplies it (PGPASSWORD,
# ~/.pgpass, a service, --password-file); every other login keeps trust access.
hba="$dir/data/pg_hba.conf"
{ echo "local all velmora_pw scram-sha-256"; cat "$hba"; } >"$hba.new"
mv "$hba.new" "$hba"
[ "$(id -u)" -eq 0 ] && chown postgres:postgres "$hba"
"${runas[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
  -o "-k $dir -p $port -c listen_addresses='' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" start >/dev/null
"${runas[@]}" "$bin/psql" -h "$dir" -p "$port" -U velmora -d postgres -qAt \
  -c "Create Role velmora_pw Login Password 'velmora-pw-secret'" \
  -c "Create Database velmora_pw Owner velmora_pw" >/dev/null
echo "postgresql://velmora@/postgres?host=$dir&port=$port" | tee "$dir/uri"
