#!/bin/sh
# The layers as the build is meant to keep them: app -> media -> engine, the engine without Qt.
# Usage: check_layers.sh <source folder> <lumora-render binary> <lumora-midi-info binary>
#        <lumora binary> <sound module> <build folder>
set -u
src=$1/src
render=$2
midiinfo=$3
player=$4
module=$5
build=$6
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
# The command that links a target, as the build has it (Ninja, else Makefiles).
link_command() {
    if [ -f "$build/build.ninja" ]; then
        ninja -C "$build" -t commands "$1" | tail -n1
    else
        cat "$build"/tests/*/CMakeFiles/"$1".dir/link.txt "$build"/src/*/CMakeFiles/"$1".dir/link.txt \
            2>/dev/null
    fi
}

if ldd "$render" | grep -i 'libQt'; then
    fail "lumora-render links Qt"
fi
# The MIDI reader stands alone: reading a file needs no synthesizer nor sound server.
if ldd "$midiinfo" | grep -E 'libQt|libfluidsynth|libpulse'; then
    fail "lumora-midi-info links Qt, FluidSynth or libpulse"
fi
# The program loads FluidSynth and libpulse with its sound module, once its window is up, not
# before main(): they are the module's libraries, not its own.
needed() {
    readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
}
if needed "$player" | grep -E 'libfluidsynth|libpulse|libglib'; then
    fail "lumora itself links FluidSynth, libpulse or GLib"
fi
for library in libfluidsynth libpulse; do
    needed "$module" | grep -q "^$library\.so" || fail "the sound module does not link $library"
done
# The module shows the program its factory alone.
exported=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TDBW]$/ { print $3 }' |
    grep -vE '^(_edata|_end|__bss_start|_init|_fini)$')
[ "$exported" = "lumora_create_sound_engine" ] || fail "the sound module exports: $exported"
found=$(grep -rlE '#include ["<](app|media)/|#include <Q' "$src/engine")
[ -z "$found" ] || fail "the engine includes from above it or Qt: $found"
# Inside the engine the parts point one way too: output -> synth -> midi. FluidSynth is called
# from the synth alone and the sound server from its stream alone.
found=$(grep -rlE '#include ["<]engine/(synth|output)/' "$src/engine/midi")
[ -z "$found" ] || fail "the MIDI reader includes the synth or the outputs: $found"
found=$(grep -rlE '#include ["<]engine/output/' "$src/engine/synth")
[ -z "$found" ] || fail "the synth includes the outputs: $found"
found=$(grep -rlE '#include <fluidsynth' "$src" | grep -vx "$src/engine/synth/synth.cpp")
[ -z "$found" ] || fail "FluidSynth is called outside Synth: $found"
found=$(grep -rlE '#include <pulse/' "$src" | grep -vx "$src/engine/output/pulseaudiooutput.cpp")
[ -z "$found" ] || fail "the sound server is called outside its stream: $found"
found=$(grep -rlE '#include ["<]app/' "$src/media")
[ -z "$found" ] || fail "the media layer includes from the app: $found"
found=$(grep -rlE '#include ["<]engine/' "$src/app")
[ -z "$found" ] || fail "the app includes the engine instead of reaching it through media: $found"
# The media headers the app sees, and the ones they include in turn, name no engine type but the
# output a setup may bring (forward-declared); the media control keeps the rest to itself.
engine_types=$(sed -nE 's/^(class|struct) ([A-Z][A-Za-z0-9]*).*/\2/p' "$src"/engine/*/*.h | sort -u |
    grep -vx AudioOutput | paste -sd'|')
seen=""
next=$(grep -rhoE '#include "media/[a-z0-9_]+\.h"' "$src/app" | sed -E 's/.*"(media\/.*)"/\1/' | sort -u)
while [ -n "$next" ]; do
    header=$(echo "$next" | head -n1)
    next=$(echo "$next" | sed 1d)
    case " $seen " in *" $header "*) continue ;; esac
    seen="$seen $header"
    if grep -qE '#include ["<]engine/' "$src/$header"; then
        fail "$header, which the app includes, includes the engine"
    fi
    if grep -nwE "$engine_types" "$src/$header"; then
        fail "$header, which the app includes, names the engine's types"
    fi
    more=$(grep -hoE '#include "media/[a-z0-9_]+\.h"' "$src/$header" | sed -E 's/.*"(media\/.*)"/\1/')
    next=$(printf '%s\n%s' "$next" "$more" | sed '/^$/d')
done
# The window knows nothing of the desktop around it (command line, session bus, MPRIS, drops):
# only the desktop's own parts, the program and the desktop's tests include them, and a test of
# the window alone is linked without QtDBus (asked of its link line: Qt's GUI library needs QtDBus
# itself, so ldd would always show it). The player's own line names it, as the check expects.
found=$(grep -rlE '#include ["<]app/desktop/' "$src" "$1/tests" "$1/bench" "$1/fuzz" |
    grep -vE "^($src/app/desktop|$1/tests/desktop)/")
[ -z "$found" ] || fail "the desktop's parts are included outside them: $found"
link_command lumora | grep -q 'libQt6DBus' || fail "cannot find QtDBus in how the player is linked"
link_command tst_window | grep -q 'libQt6DBus' && fail "a test of the window alone links QtDBus"
found=$(grep -rl "app/lumoramusic\.h" "$src" "$1/tests" "$1/bench" "$1/fuzz" | grep -v "^$src/app/")
[ -z "$found" ] || fail "the window's header is included outside src/app/: $found"
[ $status -eq 0 ] && echo "layers kept"
exit $status
