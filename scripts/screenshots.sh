#!/usr/bin/env bash
# Photographs the program's windows into docs/screenshots/: builds the Windows preset,
# runs the gallery of windows (tests/windows/ui_gallery.cpp) under Wine in a virtual
# display, and takes each state as the gallery announces it. Uses a Wine prefix of its
# own, in which Wine draws the window frames itself (the display has no window manager).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows >/dev/null
cmake --build --preset windows --target ui_gallery
mkdir -p docs/screenshots

export WINEPREFIX=$PWD/build/windows/screenshot-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  for value in Managed Decorated; do
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v $value /d N /f >/dev/null 2>&1
  done
  signal=$(mktemp -u)
  wine build/windows/tests/ui_gallery.exe "Z:$signal" >/dev/null 2>&1 &
  gallery=$!
  while kill -0 $gallery 2>/dev/null; do
    if [ -f "$signal" ]; then
      read -r name left top width height < "$signal"
      [ "$name" = done ] && break
      import -window root -crop "${width}x${height}+${left}+${top}" +repage \
        "docs/screenshots/$name.png"
      echo "docs/screenshots/$name.png"
      rm -f "$signal"
    fi
    sleep 0.2
  done
  rm -f "$signal"
  wait $gallery || true
  wineserver -k 2>/dev/null || true
'
