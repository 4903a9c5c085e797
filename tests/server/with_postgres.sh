#!/usr/bin/env bash
# Runs a command beside a throwaway PostgreSQL cluster: initdb in a temporary folder,
# a server that listens only on a unix socket in that folder, one database
# "runwarden". Its URL reaches the command in RUNWARDEN_TEST_POSTGRES; the cluster and
# its folder go when the command ends.
# Usage: with_postgres.sh COMMAND...
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "with_postgres.sh: PostgreSQL is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/runwarden-pg-XXXXXX")
# PostgreSQL refuses to run as root: then the cluster belongs to the postgres user.
as_owner=()
if [ "$(id -u)" = 0 ]; then
  chown postgres "$dir"
  as_owner=(runuser -u postgres --)
fi
started=
cleanup() {
  if [ -n "$started" ]; then "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT

"${as_owner[@]}" "$bin/initdb" -D "$dir/data" -A trust -U runwarden -E UTF8 --no-sync >"$dir/initdb.log" 2>&1 ||
  { cat "$dir/initdb.log" >&2; exit 1; }
"${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
  -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c max_connections=200" start >/dev/null ||
  { cat "$dir/server.log" >&2; exit 1; }
started=1
"$bin/createdb" -h "$dir" -U runwarden runwarden

export RUNWARDEN_TEST_POSTGRES="postgresql://runwarden@/runwarden?host=$dir"
status=0
"$@" || status=$?
exit $status
