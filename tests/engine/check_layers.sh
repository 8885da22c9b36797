#!/bin/sh
# The layers as the build is meant to keep them: app -> media -> engine, the engine without Qt.
# Usage: check_layers.sh <source folder> <lumora-render binary>
set -u
src=$1/src
render=$2
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

if ldd "$render" | grep -i 'libQt'; then
    fail "lumora-render links Qt"
fi
# Linked, FluidSynth, libpulse and their own libraries would load before main() in every program;
# the engine opens them when a synth or the live output is first made.
if ldd "$render" | grep -E 'libfluidsynth|libpulse'; then
    fail "lumora-render links FluidSynth or libpulse instead of opening them at run time"
fi
found=$(grep -rlE '#include ["<](app|media)/|#include <Q' "$src/engine")
[ -z "$found" ] || fail "the engine includes from above it or Qt: $found"
found=$(grep -rlE '#include ["<]app/' "$src/media")
[ -z "$found" ] || fail "the media layer includes from the app: $found"
found=$(grep -rl "app/lumoramusic\.h" "$src" "$1/tests" "$1/bench" "$1/fuzz" | grep -v "^$src/app/")
[ -z "$found" ] || fail "the window's header is included outside src/app/: $found"
[ $status -eq 0 ] && echo "layers kept"
exit $status
