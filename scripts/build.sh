#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1, with extra CMake arguments after).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
shift || true
cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
ninja -C "$dir" -j "$(nproc)"
