#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with.
# Safe to run again: apt only installs what is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  # checks
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
  # platform back ends and general facilities
  libsdl2-dev libpng-dev nlohmann-json3-dev libavcodec-dev libavformat-dev
  libcli11-dev libsdl2-image-dev libsndfile1-dev
  # tools and end-to-end tests: video encoding, virtual display, input, audio checks,
  # an independent image encoder for the decoder tests
  ffmpeg xvfb xauth xdotool x11-apps imagemagick sox tmux
  # real 3D Studio files for the scene viewer's tests
  assimp-testmodels glmark2-data
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
