#!/usr/bin/env bash
# Starts a private PostgreSQL/PostGIS server for the tests: a fresh cluster in
# DIR that listens only on a Unix socket inside DIR, with a database
# "drennow" that has PostGIS. Like a user's server it syncs what it writes to
# disk (fsync). Prints the GDAL connection string.
#   scripts/postgres-start.sh DIR
set -euo pipefail
dir=$(realpath -m "${1:?usage: postgres-start.sh DIR}")
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found" >&2; exit 1; }
port=54329

# The server refuses to run as root; it then runs as the postgres user.
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  as_server=(runuser -u postgres --)
fi

"$(dirname "$0")/postgres-stop.sh" "$dir" 2>/dev/null || true
rm -rf "$dir"
mkdir -p "$dir"
[ ${#as_server[@]} -eq 0 ] || chown postgres: "$dir"
"${as_server[@]}" "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --no-sync >"$dir/initdb.log"
"${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
  -o "-c listen_addresses='' -c unix_socket_directories='$dir' -p $port" start >/dev/null
psql=("$bin/psql" -X -q -h "$dir" -p "$port" -U postgres)
"${psql[@]}" -d postgres -c "CREATE DATABASE drennow"
"${psql[@]}" -d drennow -c "CREATE EXTENSION postgis"
echo "PG:host=$dir port=$port user=postgres dbname=drennow"
