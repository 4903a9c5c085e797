#!/usr/bin/env bash
# Installs what building, running and testing Runwarden need on Debian 12 (as root).
set -euo pipefail

packages=(
  cmake ninja-build g++ git pkg-config
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth imagemagick
  googletest libsqlite3-dev libcpp-httplib-dev
  libpqxx-dev postgresql nginx iproute2
  # The build makes detection.wav with a Python script.
  python3
  # The fuzz preset: clang with libFuzzer. Debian 12's default clang (14) cannot compile
  # std::source_location with GCC 12's library; clang 16 can.
  clang-16 libclang-rt-16-dev
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
fi
