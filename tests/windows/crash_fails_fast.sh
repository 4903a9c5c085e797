#!/usr/bin/env bash
# A Windows program that crashes under Wine must end at once, with Wine's backtrace, not
# wait in a crash dialog until the test's time limit. (Its exit status is not to be
# trusted: the first program of a freshly started prefix that crashes can end with 0,
# so the Wine suites also fail on the crash's message.)
#   crash_fails_fast.sh <wine-run.sh> <crasher.exe>
set -u
status=0
output=$(timeout 60 "$1" "$2" 2>&1) || status=$?
if [ "$status" -eq 124 ]; then
  echo "the crashed program was still there after 60 s"
  exit 1
fi
if ! grep -q "Unhandled" <<<"$output"; then
  echo "no crash reported (status $status):"
  echo "$output"
  exit 1
fi
echo "crashed and ended with status $status"
