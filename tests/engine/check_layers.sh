#!/bin/sh
# The layers as the build is meant to keep them: app -> media -> engine, the engine without Qt.
# Usage: check_layers.sh <source folder> <lumora-render binary> <lumora-midi-info binary>
set -u
src=$1/src
render=$2
midiinfo=$3
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

if ldd "$render" | grep -i 'libQt'; then
    fail "lumora-render links Qt"
fi
# The MIDI reader stands alone: reading a file needs no synthesizer nor sound server.
if ldd "$midiinfo" | grep -E 'libQt|libfluidsynth|libpulse'; then
    fail "lumora-midi-info links Qt, FluidSynth or libpulse"
fi
found=$(grep -rlE '#include ["<](app|media)/|#include <Q' "$src/engine")
[ -z "$found" ] || fail "the engine includes from above it or Qt: $found"
found=$(grep -rlE '#include ["<]app/' "$src/media")
[ -z "$found" ] || fail "the media layer includes from the app: $found"
found=$(grep -rl "app/lumoramusic\.h" "$src" "$1/tests" "$1/bench" "$1/fuzz" | grep -v "^$src/app/")
[ -z "$found" ] || fail "the window's header is included outside src/app/: $found"
[ $status -eq 0 ] && echo "layers kept"
exit $status
