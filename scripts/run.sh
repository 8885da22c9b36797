#!/usr/bin/env bash
# Installs what is missing, builds the player and starts it on the shipped demo songs and skins.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

# Without a display the player cannot show its window; a short demonstration on a private
# virtual display shows and records what it does instead.
why_demo=
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  why_demo="No display here"
elif [ -z "${WAYLAND_DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; then
  why_demo="The display $DISPLAY cannot be opened"
fi

if [ -n "$why_demo" ]; then
  bash "$top/scripts/install-deps.sh" run demo
else
  bash "$top/scripts/install-deps.sh" run
fi
bash "$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DLUMORA_BUILD_BENCHMARKS=OFF
if [ -n "$why_demo" ]; then
  echo "$why_demo: running a short demonstration under a virtual display instead."
  exec bash "$top/scripts/demo.sh"
fi
# Songs and pictures are looked up in the working directory.
cd "$top/data"
exec "$top/build/src/app/lumora"
