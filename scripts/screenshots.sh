#!/usr/bin/env bash
# Photographs the program's windows into docs/screenshots/: builds the Windows preset,
# runs the gallery of windows (tools/ui_gallery.cpp) under Wine in a virtual
# display, and takes each state as the gallery announces it. Uses Wine prefixes of its
# own, in which Wine draws the window frames itself (the display has no window manager).
# A second run on a screen of 144 dpi (150%) keeps all its pictures in
# build/windows/screenshots-144dpi/ to be looked at, and the options window's first page
# as docs/screenshots/options-manage-144dpi.png.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows >/dev/null
cmake --build --preset windows --target ui_gallery
mkdir -p docs/screenshots build/windows/screenshots-144dpi

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# gallery PREFIX DPI FOLDER
gallery() {
  WINEPREFIX=$1 DPI=$2 OUT=$3 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    set -euo pipefail
    for value in Managed Decorated; do
      wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v $value /d N /f >/dev/null 2>&1
    done
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d $DPI /f \
      >/dev/null 2>&1
    signal=$(mktemp -u)
    wine build/windows/tools/ui_gallery.exe "Z:$signal" >/dev/null 2>&1 &
    gallery=$!
    while kill -0 $gallery 2>/dev/null; do
      if [ -f "$signal" ]; then
        # The gallery writes its line in text mode: CR LF.
        read -r name left top width height < <(tr -d "\r" < "$signal")
        [ "$name" = done ] && break
        import -window root -crop "${width}x${height}+${left}+${top}" +repage "$OUT/$name.png"
        echo "$OUT/$name.png"
        rm -f "$signal"
      fi
      sleep 0.2
    done
    rm -f "$signal"
    wait $gallery || true
    wineserver -k 2>/dev/null || true
  '
}

gallery "$PWD/build/windows/screenshot-prefix" 96 docs/screenshots
gallery "$PWD/build/windows/screenshot-prefix-144dpi" 144 build/windows/screenshots-144dpi
cp build/windows/screenshots-144dpi/options-manage.png docs/screenshots/options-manage-144dpi.png
echo docs/screenshots/options-manage-144dpi.png
