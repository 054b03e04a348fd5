#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Sonotrap need.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config git qt6-base-dev portaudio19-dev libasound2-dev libsoxr-dev
  libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev clang
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core
  pulseaudio pulseaudio-utils libasound2-plugins sox ffmpeg lame procps strace qemu-user)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
