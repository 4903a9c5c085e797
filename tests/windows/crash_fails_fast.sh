#!/usr/bin/env bash
# A Windows program that crashes under Wine must fail at once, with Wine's backtrace,
# not wait in a crash dialog until the test's time limit.
#   crash_fails_fast.sh <wine-run.sh> <crasher.exe>
set -u
status=0
output=$(timeout 60 "$1" "$2" 2>&1) || status=$?
if [ "$status" -eq 124 ]; then
  echo "the crashed program was still there after 60 s"
  exit 1
fi
if [ "$status" -eq 0 ]; then
  echo "the program did not crash"
  exit 1
fi
if ! grep -q "Unhandled" <<<"$output"; then
  echo "no backtrace of the crash:"
  echo "$output"
  exit 1
fi
echo "crashed and ended with status $status"
