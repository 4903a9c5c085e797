#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix inside the build tree (created on
# first use), and under xvfb-run when there is no display.
set -euo pipefail

exe=$1; shift
build_dir=$(cd "$(dirname "$exe")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)
[ -f "$build_dir/CMakeCache.txt" ] || build_dir=$(dirname "$exe")

export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Gecko or Mono installers: the program needs neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Wine's daemons inherit the standard handles of the program that starts them; a test
# runner reading our output through a pipe would then wait for them for ever. Start the
# prefix and a lingering wineserver with their output sent to /dev/null first.
# The lock only orders the first start; the daemons must not inherit (and so hold) it.
(
  flock 9
  # A prefix whose first start failed half-way (a full disk, a killed run) has a registry
  # but no system DLLs, and every later start then fails with "could not load
  # kernel32.dll": start such a prefix afresh, once, and say why when that fails too.
  for attempt in 1 2; do
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && break
    if [ -e "$WINEPREFIX" ]; then
      wineserver -k >/dev/null 2>&1 </dev/null 9>&- || true
      rm -rf "$WINEPREFIX"
    fi
    wine wineboot -i >"$WINEPREFIX.boot.log" 2>&1 </dev/null 9>&- || true
    wineserver -w >/dev/null 2>&1 </dev/null 9>&- || true
    if [ ! -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
      echo "wine-run.sh: the Wine prefix $WINEPREFIX did not start (attempt $attempt):" >&2
      tail -n 20 "$WINEPREFIX.boot.log" >&2 || true
      df -h "$(dirname "$WINEPREFIX")" >&2 || true
    fi
  done
  wineserver -p120 >/dev/null 2>&1 </dev/null 9>&- || true
  # A program that crashes must fail its test at once: Wine's debugger then prints the
  # backtrace and ends it, instead of showing a crash dialog that nobody answers.
  if [ ! -f "$WINEPREFIX/.runwarden-crashes-end" ]; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1 </dev/null 9>&- && touch "$WINEPREFIX/.runwarden-crashes-end" || true
  fi
  # The tests' display has no window manager, and Wine's "managed" windows then act
  # unlike Windows: an unmanaged pop-up moved while it is active becomes managed and is
  # mapped anew, losing the keyboard to the desktop, and a managed window that leaves
  # the screen waits two seconds for a window manager to withdraw it. Unmanaged, Wine
  # places, activates and focuses the windows itself, as Windows does.
  if [ ! -f "$WINEPREFIX/.runwarden-unmanaged" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 </dev/null 9>&- && touch "$WINEPREFIX/.runwarden-unmanaged" || true
  fi
  # A prefix that reports another Windows version (winxp64 reports 5.2).
  if [ -n "${RUNWARDEN_WINE_VERSION:-}" ]; then
    wine reg add 'HKCU\Software\Wine' /v Version /d "$RUNWARDEN_WINE_VERSION" /f \
      >/dev/null 2>&1 </dev/null 9>&- || true
  fi
  # A prefix whose screen has another dpi (Wine's LogPixels, as Windows' display settings).
  if [ -n "${RUNWARDEN_WINE_DPI:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$RUNWARDEN_WINE_DPI" /f \
      >/dev/null 2>&1 </dev/null 9>&- || true
  fi
  wine cmd /c exit >/dev/null 2>&1 </dev/null 9>&- || true
) 9>"$build_dir/.wineprefix.lock"

if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a wine "$exe" "$@"
fi
exec wine "$exe" "$@"
