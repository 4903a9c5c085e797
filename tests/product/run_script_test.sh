#!/usr/bin/env bash
# scripts/run.sh as someone without a display runs it, for a few seconds: the server
# answers, the options window is photographed beside the program's log, and when the
# command ends nothing that it started is left running.
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

rm -f "$shot"
status=0
env -u DISPLAY RUNWARDEN_RUN_SERVER=127.0.0.1:0 RUNWARDEN_RUN_PREFIX="$prefix" \
  ./scripts/run.sh --no-build --for 2 >"$output" 2>&1 </dev/null || status=$?
cat "$output"
[ $status = 0 ] || fail "run.sh ended with $status"

address=$(sed -n 's|^run.sh: runwarden-server answers on http://\(127.0.0.1:[0-9]*\) (HTTP/1.1 200 OK).*|\1|p' "$output")
[ -n "$address" ] || fail "the server did not answer with the update list"
grep -q '^runwarden-server: 127.0.0.1 GET /~vantor/updates/updates.ini 200$' "$output" ||
  fail "the server's own lines are not shown"
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
if (exec 3<>"/dev/tcp/${address%:*}/${address#*:}") 2>/dev/null; then
  fail "the server still listens on $address"
fi
[ ! -e "/tmp/.X11-unix/X$display" ] || fail "the virtual display :$display is still there"
echo "run.sh showed the options window and ended everything it started"
