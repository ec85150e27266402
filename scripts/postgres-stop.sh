#!/usr/bin/env bash
# Stops the server that postgres-start.sh started in DIR and removes DIR.
#   scripts/postgres-stop.sh DIR
set -euo pipefail
dir=$(realpath -m "${1:?usage: postgres-stop.sh DIR}")
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  as_server=(runuser -u postgres --)
fi
# The cluster is thrown away: it is stopped without writing a last checkpoint.
if [ -f "$dir/data/postmaster.pid" ]; then
  "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
fi
rm -rf "$dir"
