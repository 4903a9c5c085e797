#!/usr/bin/env bash
# scripts/run.sh as someone without a display runs it: a logon in which the guard asks
# about the planted demo entry and, its countdown run out, asks the server what the
# community decided; then the options window, for a few seconds. The alert and the
# options window are photographed beside the program's log, and when the command ends
# nothing that it started is left running.
# Usage: run_script_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# A prefix of its own, so a run.sh started by hand meanwhile is not ended by this one.
prefix=$PWD/build/windows/run-test-wineprefix
shot=build/windows/app/options-window.png
output=$(mktemp)
trap 'rm -f "$output"' EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}

alert_shot=build/windows/app/alert-window.png
rm -f "$shot" "$alert_shot"
# The program talks to the address it is built with (127.0.0.1:8080). In a network of
# its own that port is free for this run, whatever listens on the machine's loopback.
status=0
unshare --net sh -c 'ip link set lo up && exec "$@"' run-in-own-network \
  env -u DISPLAY RUNWARDEN_RUN_PREFIX="$prefix" \
  ./scripts/run.sh --no-build --for 2 >"$output" 2>&1 </dev/null || status=$?
cat "$output"
[ $status = 0 ] || fail "run.sh ended with $status"

address=$(sed -n 's|^run.sh: runwarden-server listens on http://\(127.0.0.1:[0-9]*\),.*|\1|p' "$output")
[ -n "$address" ] || fail "the server did not start"
# The script sends the server nothing itself: this request is the guard's, made when the
# alert's countdown ran out.
grep -Eq '^runwarden-server: 127\.0\.0\.1 GET /~vantor/filecheck\.php\?md5=[0-9A-F]{32} 200$' "$output" ||
  fail "the program did not ask the server about the demo entry"
grep -q '^run.sh: the guard has ended$' "$output" || fail "the guard did not end by itself"
grep -q "^run.sh: screenshot of the alert: $alert_shot" "$output" || fail "no screenshot of the alert named"
[ -f "$alert_shot" ] || fail "$alert_shot is missing"
read -r width height < <(identify -format '%w %h\n' "$alert_shot")
# The alert is about 400 by 150 pixels.
[ "$width" -ge 250 ] && [ "$width" -le 700 ] && [ "$height" -ge 80 ] && [ "$height" -le 400 ] ||
  fail "the alert's screenshot is ${width}x$height, not the alert"
display=$(sed -n 's/^run.sh: no display: the program runs in the virtual display :\([0-9]*\)$/\1/p' "$output")
[ -n "$display" ] || fail "no virtual display"

grep -q "^run.sh: screenshot of the options window: $shot\$" "$output" || fail "no screenshot named"
[ -f "$shot" ] || fail "$shot is missing"
read -r width height < <(identify -format '%w %h\n' "$shot")
# The options window is about 600 by 420 pixels; a whole screen or a sliver is not it.
[ "$width" -ge 400 ] && [ "$width" -le 1000 ] && [ "$height" -ge 300 ] && [ "$height" -le 800 ] ||
  fail "the screenshot is ${width}x$height, not the options window"
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -ge 16 ] || fail "the screenshot holds $colours colours: nothing drawn"

# Everything it started has ended.
for _ in $(seq 1 50); do
  left=$(grep -lsz "^WINEPREFIX=$prefix\$" /proc/[0-9]*/environ || true)
  [ -z "$left" ] && break
  sleep 0.1
done
[ -z "$left" ] || fail "Wine processes of the run's prefix are left: $left"
# The run's network went with its last process: a server left behind would keep it.
server_left=$(pgrep -f "runwarden-server --listen $address --data $PWD/build/run/server-data" || true)
[ -z "$server_left" ] || fail "runwarden-server is left running: $server_left"
[ ! -e "/tmp/.X11-unix/X$display" ] || fail "the virtual display :$display is still there"
echo "run.sh showed the guard asking the server and the options window, and ended everything it started"
