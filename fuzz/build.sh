#!/bin/sh
# Builds the libFuzzer target for the MIDI reader into $1 (default /tmp/lumora-fuzz).
# Run:  /tmp/lumora-fuzz/fuzz_midireader -dict=fuzz/midi.dict -max_total_time=300 \
#           /tmp/lumora-fuzz/corpus fuzz/corpus
# New findings are copied into fuzz/corpus/ so the replay test keeps them.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-/tmp/lumora-fuzz}
mkdir -p "$out/corpus"
engine="$root/src/playback/engine"
clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root/src" \
    "$here/fuzz_midireader.cpp" "$here/midireadercheck.cpp" \
    "$engine/song.cpp" "$engine/midifile.cpp" "$engine/tempomap.cpp" \
    -o "$out/fuzz_midireader"
echo "built $out/fuzz_midireader"
