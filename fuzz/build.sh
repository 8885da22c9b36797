#!/bin/sh
# Builds the libFuzzer targets into $1 (default /tmp/lumora-fuzz): fuzz_midireader for the
# reader alone, fuzz_songrenderer for the reader and the sequencer together. See README.md for
# how to run them and fold what they find into fuzz/corpus/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-/tmp/lumora-fuzz}
mkdir -p "$out/corpus"
engine="$root/src/engine"
flags="-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I$root/src"
reader="$here/midireadercheck.cpp $engine/midi/song.cpp $engine/midi/midifile.cpp $engine/midi/tempomap.cpp"

clang++-14 $flags "$here/fuzz_midireader.cpp" $reader -o "$out/fuzz_midireader"
echo "built $out/fuzz_midireader"

# The renderer calls into FluidSynth only with a synth; without one it needs it just to link.
clang++-14 $flags $(pkg-config --cflags fluidsynth glib-2.0) "$here/fuzz_songrenderer.cpp" \
    "$here/songrenderercheck.cpp" $reader "$engine/synth/songrenderer.cpp" "$engine/synth/synth.cpp" "$engine/synth/enginelog.cpp" "$engine/synth/audiothread.cpp" \
    $(pkg-config --libs fluidsynth glib-2.0) -o "$out/fuzz_songrenderer"
echo "built $out/fuzz_songrenderer"
