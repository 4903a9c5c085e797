#!/usr/bin/env bash
# Runs a test program against a fresh community server on a free loopback port.
# Usage: with_server.sh SERVER_BINARY TEST_COMMAND...
# The server gets a temporary data folder with a published update list, and its
# address reaches the tests in RUNWARDEN_TEST_SERVER.
set -euo pipefail

server=$1; shift
data=$(mktemp -d)
server_pid=
stop() { [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=; } || true; }
trap 'stop; rm -rf "$data"' EXIT

mkdir -p "$data/updates"
printf '#Updates: the current version of every program we publish, one per line\r\nRunwarden.exe#99.0.0.0\r\nupdate.exe#1.0.0.0\r\n' \
  >"$data/updates/updates.ini"

# The client reads ports as signed 16-bit numbers: stay below 32768.
for attempt in $(seq 1 20); do
  port=$((20000 + RANDOM % 12000))
  "$server" --listen "127.0.0.1:$port" --data "$data" >"$data/server.log" 2>&1 &
  server_pid=$!
  for wait in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break 2; fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  stop
done
[ -n "$server_pid" ] || { echo "the community server did not start" >&2; cat "$data/server.log" >&2; exit 1; }

export RUNWARDEN_TEST_SERVER="127.0.0.1:$port"
"$@"
