#!/usr/bin/env bash
# Builds every preset and runs every test suite: native, native under the sanitizers,
# each fuzz target for a few seconds over its corpus, and the Windows build under Wine
# (inside one virtual X display). Fails when any suite fails or runs no test.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

for preset in native sanitize fuzz; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

cmake --preset windows
cmake --build --preset windows
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows || status=$?
for prefix in build/windows/*wineprefix*/; do
  WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true
done
exit $status
