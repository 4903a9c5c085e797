#!/usr/bin/env bash
# Shows the whole of Runwarden on this machine: builds the community server (native) and
# the Windows program, starts runwarden-server on loopback with its data in build/run/,
# and runs Runwarden.exe under Wine against it.
#
# Without arguments it plays a logon and then opens the options window: it plants a demo
# Run value ("Runwarden Demo", Notepad) in its prefix, runs "/r" (which sets it aside) and
# "/s" (which puts it back and asks about it in the alert). An answer is reported to the
# server; a countdown left to run out asks the server what the community decided. The
# server's lines show those requests. With arguments, only the program with those (/s the
# guard, /r the early scan, /options the options window).
#
# Without a display the program runs in a virtual one (Xvfb), and screenshots of the alert
# and of the options window are written beside the program's log, in build/windows/app/.
# Ending this command (Ctrl+C, or the program ending) stops the server, the virtual
# display and every Wine process of its own prefix (build/windows/run-wineprefix); nothing
# else.
#
# Options, before the program's arguments:
#   --no-build     run what is built already (installs nothing, builds nothing)
#   --for SECONDS  end the last program started (the options window) after so long
# Environment: RUNWARDEN_RUN_SERVER=ADDRESS:PORT has the server listen elsewhere than
# where the program is built to look (port 0: any free port); RUNWARDEN_RUN_PREFIX
# names another Wine prefix for the program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
seconds=
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build=0; shift ;;
    --for) seconds=${2:?--for needs a number of seconds}; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done

if [ $build = 1 ]; then
  ./scripts/install-deps.sh
  cmake --preset native
  cmake --build --preset native --target runwarden-server
  cmake --preset windows
  cmake --build --preset windows --target Runwarden
fi

server_binary=$root/build/native/server/runwarden-server
program=$root/build/windows/app/Runwarden.exe
for file in "$server_binary" "$program"; do
  [ -f "$file" ] || { echo "run.sh: $file is not built" >&2; exit 1; }
done

# The program talks to the address it was built with; the server listens there.
built_address=$(sed -n 's/^RUNWARDEN_SERVER_ADDRESS:STRING=//p' build/windows/CMakeCache.txt 2>/dev/null || true)
built_address=${built_address:-127.0.0.1:8080}
[[ $built_address == *:* ]] || built_address=$built_address:80
listen=${RUNWARDEN_RUN_SERVER:-$built_address}
if [[ $listen != 127.* ]]; then
  echo "run.sh: the program is built to talk to the server at $listen, which is not on this" >&2
  echo "machine's loopback; build it for this one with" >&2
  echo "  cmake --preset windows -DRUNWARDEN_SERVER_ADDRESS=127.0.0.1:8080" >&2
  exit 1
fi

run_dir=$root/build/run
data=$run_dir/server-data
mkdir -p "$data/updates"
version=$(sed -n 's/^#define RUNWARDEN_VERSION_STRING "\(.*\)"/\1/p' build/windows/generated/runwarden_version.h)
# The published update list names the built version, so the guard's update check finds
# the program current.
printf '#Updates: the current version of every program we publish\r\nRunwarden.exe#%s\r\n' \
  "$version" > "$data/updates/updates.ini"

export WINEPREFIX=${RUNWARDEN_RUN_PREFIX:-$root/build/windows/run-wineprefix}
export WINEDEBUG=-all
# No Gecko or Mono installers, and no menu entries on this machine for the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

# This run's own files: another run.sh may share build/run.
scratch=$(mktemp -d)
server_pid=
xvfb_pid=
program_pid=
timer_pid=
cleanup() {
  trap - EXIT INT TERM
  set +e
  if [ -n "$timer_pid" ]; then kill "$timer_pid" 2>/dev/null; fi
  # Every Wine process of this prefix, and only of this prefix.
  if [ -n "$program_pid" ]; then
    wineserver -k >/dev/null 2>&1
    wait "$program_pid" 2>/dev/null
    echo "run.sh: ended the Wine processes of ${WINEPREFIX#"$root"/}"
  fi
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    echo "run.sh: stopped runwarden-server"
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$scratch"
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server, its lines shown here as they come and kept in build/run/server.log (and
# in this run's own copy, where its address is read).
: > "$scratch/server.log"
"$server_binary" --listen "$listen" --data "$data" \
  > >(tee -a "$run_dir/server.log" "$scratch/server.log" | sed -u 's/^/runwarden-server: /') 2>&1 &
server_pid=$!
address=
for _ in $(seq 1 100); do
  address=$(sed -n 's/^runwarden-server listening on \([0-9.]*:[0-9]*\),.*/\1/p' "$scratch/server.log")
  [ -n "$address" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$address" ]; then
  echo "run.sh: runwarden-server did not start on $listen (is the port taken?)" >&2
  exit 1
fi
# The script itself sends the server nothing: every request line it shows is the
# program's.
echo "run.sh: runwarden-server listens on http://$address, data in ${data#"$root"/}"
[ "$address" = "$built_address" ] ||
  echo "run.sh: note: the program is built to talk to $built_address, not to this server"

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
  done
  [ -s "$scratch/display" ] || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(tr -d '\n' < "$scratch/display")
  echo "run.sh: no display: the program runs in the virtual display $DISPLAY"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run.sh: making the Wine prefix ${WINEPREFIX#"$root"/} (once)"
  wine wineboot -i >/dev/null 2>&1 </dev/null || true
fi
# In the virtual display no window manager draws the frames: Wine draws them itself.
frames=Y
[ $headless = 1 ] && frames=N
for value in Managed Decorated; do
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v $value /d $frames /f >/dev/null 2>&1 </dev/null || true
done

# The top-level X window with this title, once it shows; empty when the program ends
# first.
wait_for_window() {
  local title=$1 window=
  for _ in $(seq 1 600); do
    window=$(xwininfo -root -tree 2>/dev/null | sed -n "s/^ *\(0x[0-9a-f]*\) \"$title\".*/\1/p" | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
  done
  echo "$window"
}

# Starts the program with these arguments in the background.
start_program() {
  echo "run.sh: starting ${program#"$root"/}${*:+ $*} under Wine"
  wine "$program" "$@" >>"$run_dir/wine.log" 2>&1 </dev/null &
  program_pid=$!
}

# Waits for the program, or ends it after --for SECONDS.
wait_for_program() {
  if [ -n "$seconds" ]; then
    sleep "$seconds" &
    timer_pid=$!
    wait -n "$program_pid" "$timer_pid" || true
  else
    [ $headless = 1 ] && echo "run.sh: Ctrl+C ends the program and the server"
    wait "$program_pid" || true
  fi
}

: > "$run_dir/wine.log"
if [ $# -eq 0 ]; then
  # A logon: an entry for the guard to ask about, the early scan, then the guard.
  demo='C:\windows\notepad.exe'
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v 'Runwarden Demo' \
    /d "$demo" /f >/dev/null 2>&1 </dev/null
  echo "run.sh: planted the Run value \"Runwarden Demo\" ($demo) in ${WINEPREFIX#"$root"/}"
  start_program /r
  wait "$program_pid" || true
  start_program /s
  if [ $headless = 1 ]; then
    window=$(wait_for_window "Runwarden Alert")
    if [ -n "$window" ]; then
      sleep 3 # let it slide in and paint
      shot=build/windows/app/alert-window.png
      import -window "$window" "$shot"
      echo "run.sh: screenshot of the alert: $shot (its countdown runs out: no one answers here)"
    fi
  else
    echo "run.sh: answer the alert at the bottom right of the screen; the guard then ends"
  fi
  # The guard ends once every entry is decided.
  wait "$program_pid" || true
  echo "run.sh: the guard has ended"
  set -- /options
fi

start_program "$@"
if [ $headless = 1 ] && [ "$*" = /options ]; then
  window=$(wait_for_window "Manage Runwarden")
  if [ -z "$window" ]; then
    echo "run.sh: the options window did not open" >&2
    exit 1
  fi
  sleep 2 # let it paint
  shot=build/windows/app/options-window.png
  import -window "$window" "$shot"
  echo "run.sh: screenshot of the options window: $shot"
fi
wait_for_program
echo "run.sh: the program's log is build/windows/app/log.log"
