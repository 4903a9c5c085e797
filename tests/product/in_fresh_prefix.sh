#!/usr/bin/env bash
# Runs a command with WINEPREFIX set to a prefix made afresh (removed first, with its
# wineserver), so the installer meets a machine that never had Runwarden, and ends that
# prefix's wineserver afterwards. Usage: in_fresh_prefix.sh PREFIX COMMAND...
set -euo pipefail

export WINEPREFIX=$1; shift
# Only this prefix's own server: the other suites' prefixes are left alone.
stop_prefix() { wineserver -k >/dev/null 2>&1 || true; }
stop_prefix
rm -rf "$WINEPREFIX"
status=0
"$@" || status=$?
stop_prefix
exit $status
