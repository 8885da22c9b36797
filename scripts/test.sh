#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, then the sanitizer builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"

echo "== Build and test"
bash "$top/scripts/build.sh" "$top/build"
ctest --test-dir "$top/build" --output-on-failure -j 2 --timeout 600
