#!/usr/bin/env bash
# Installs the Debian packages of the named groups that are missing; quick when all are there.
#
#   bash scripts/install-deps.sh [run] [demo] [test] [bench] [fuzz]
#
# run    building and running the player (scripts/run.sh; the default)
# demo   the headless demonstration: a virtual display and sound server (scripts/run.sh without
#        a display, scripts/demo.sh)
# test   what the tests add (scripts/test.sh installs run, demo and test)
# bench  the reference players and measuring tools of bench/ (bench/run-all.sh installs these)
# fuzz   clang and its fuzzer runtime (fuzz/build.sh)
# Uses apt-get, through sudo when not run as root.
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libfluidsynth-dev libpulse-dev
)
# The General MIDI SoundFont, the song label's font (Liberation Sans Narrow) and the menus' font
# (DejaVu Sans), chosen by name by the window.
run_packages=(
  fluid-soundfont-gm fonts-liberation fonts-dejavu-core
)
demo_packages=(
  xvfb xauth x11-utils pulseaudio pulseaudio-utils xdotool imagemagick sox
)
# The data generators, desktop-entry and package checks, manual pages, a private session bus,
# the media-player client, the screen-reader bus and API, Google Benchmark for the bench build.
test_packages=(
  python3 python3-pil desktop-file-utils dpkg-dev lintian appstream groff-base
  dbus-x11 playerctl at-spi2-core python3-pyatspi libbenchmark-dev
  # a Wayland compositor for the window's title bar drawn by Qt
  weston qt6-wayland
)
# PipeWire with its PulseAudio service and session manager (which needs a session bus), the
# second sound server the player is measured on.
bench_packages=(
  fluidsynth timidity time bc python3 libbenchmark-dev
  pipewire pipewire-pulse wireplumber dbus-daemon
)
fuzz_packages=(
  clang libclang-rt-14-dev
)

[ $# -gt 0 ] || set -- run
wanted=()
for group in "$@"; do
  case $group in
  run) wanted+=("${build_packages[@]}" "${run_packages[@]}") ;;
  demo) wanted+=("${demo_packages[@]}") ;;
  test) wanted+=("${test_packages[@]}") ;;
  bench) wanted+=("${bench_packages[@]}") ;;
  fuzz) wanted+=("${fuzz_packages[@]}") ;;
  *)
    echo "install-deps.sh: unknown group '$group' (run, demo, test, bench or fuzz)" >&2
    exit 2
    ;;
  esac
done

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
