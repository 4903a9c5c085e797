#!/usr/bin/env bash
# Starts the deployment that deploy/ describes: two runwarden-server processes on the
# PostgreSQL database named in RUNWARDEN_TEST_POSTGRES (see with_postgres.sh), and
# nginx in front of them with deploy/nginx/runwarden.conf, changed only in its ports.
# Then runs the command with RUNWARDEN_TEST_PROXY (nginx's address), RUNWARDEN_TEST_SERVERS
# (the two servers' addresses) and RUNWARDEN_TEST_SERVER_LOGS (their logs) set.
# Usage: with_deployment.sh SERVER_BINARY NGINX_CONF COMMAND...
set -euo pipefail

server=$1
conf=$2
shift 2
if [ -z "${RUNWARDEN_TEST_POSTGRES:-}" ]; then
  echo "with_deployment.sh: run it under with_postgres.sh" >&2
  exit 1
fi
nginx=$(command -v nginx || echo /usr/sbin/nginx)

dir=$(mktemp -d "${TMPDIR:-/tmp}/runwarden-deploy-XXXXXX")
chmod 755 "$dir"  # nginx's workers do not run as us when we are root
server_pids=()
nginx_pid=
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${server_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

ports=()
for name in a b; do
  mkdir -p "$dir/$name"
  "$server" --listen 127.0.0.1:0 --data "$dir/$name" --database "$RUNWARDEN_TEST_POSTGRES" \
    --trusted-proxy 127.0.0.1 >"$dir/$name.log" 2>&1 &
  server_pids+=($!)
  port=
  for attempt in $(seq 1 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$dir/$name.log")
    [ -n "$port" ] && break
    kill -0 "${server_pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "runwarden-server $name did not start:" >&2; cat "$dir/$name.log" >&2; exit 1; }
  ports+=("$port")
done

for attempt in $(seq 1 20); do
  port=$((20000 + RANDOM % 12000))
  sed -e "s/^\( *\)listen 80;/\1listen 127.0.0.1:$port;/" \
      -e "s/127\.0\.0\.1:8081/127.0.0.1:${ports[0]}/" \
      -e "s/127\.0\.0\.1:8082/127.0.0.1:${ports[1]}/" "$conf" >"$dir/runwarden.conf"
  for wanted in "listen 127.0.0.1:$port;" "server 127.0.0.1:${ports[0]} " "server 127.0.0.1:${ports[1]} "; do
    grep -qF "$wanted" "$dir/runwarden.conf" ||
      { echo "with_deployment.sh: $conf no longer has the ports this script changes" >&2; exit 1; }
  done
  cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 512; }
http {
    access_log $dir/access.log;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    include $dir/runwarden.conf;
}
CONF
  "$nginx" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -g 'daemon off;' 2>>"$dir/nginx.out" &
  nginx_pid=$!
  for wait in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break 2; fi
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$nginx_pid" 2>/dev/null || true
  wait "$nginx_pid" 2>/dev/null || true
  nginx_pid=
done
[ -n "$nginx_pid" ] || { echo "nginx did not start:" >&2; cat "$dir/nginx.out" "$dir/error.log" >&2; exit 1; }

export RUNWARDEN_TEST_PROXY="127.0.0.1:$port"
export RUNWARDEN_TEST_SERVERS="127.0.0.1:${ports[0]} 127.0.0.1:${ports[1]}"
export RUNWARDEN_TEST_SERVER_LOGS="$dir/a.log $dir/b.log"
status=0
"$@" || status=$?
if [ $status -ne 0 ]; then
  for log in "$dir/a.log" "$dir/b.log" "$dir/error.log"; do echo "== $log" >&2; tail -n 20 "$log" >&2; done
fi
exit $status
