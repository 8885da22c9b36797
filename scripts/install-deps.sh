#!/usr/bin/env bash
# Installs the Debian packages Lumora needs to build, run and test. Quick when all are there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libfluidsynth-dev libpulse-dev
  # run: the General MIDI SoundFont and the label's font
  fluid-soundfont-gm fonts-liberation
  # tests: the data generators, a virtual display and sound server, key presses, sound checks
  python3 python3-pil xvfb xauth x11-utils pulseaudio pulseaudio-utils xdotool imagemagick sox
  desktop-file-utils
  # a Wayland compositor for the window's title bar drawn by Qt
  weston qt6-wayland
  # desktop tests: a private session bus, the media-player client, the screen-reader bus and API
  dbus-x11 playerctl at-spi2-core python3-pyatspi
  # benchmarks and fuzzing: the reference players, Google Benchmark, clang's fuzzer runtime
  libbenchmark-dev fluidsynth timidity clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
