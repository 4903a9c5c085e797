#!/usr/bin/env bash
# Builds the Windows program and runs it under Wine (arguments are passed on, e.g. /s).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset windows
cmake --build --preset windows

export WINEPREFIX=${WINEPREFIX:-$PWD/build/windows/wineprefix}
exec ./cmake/wine-run.sh build/windows/app/Runwarden.exe "$@"
