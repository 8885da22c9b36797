#!/bin/bash
# Benchmarks of the live media control against references measured in the same run:
#   processor while playing against the fluidsynth command-line player on the same file,
#   processor while paused, stopped and closed, peak memory against `fluidsynth -F`,
#   Play to the first sample at the sink against a bare wake of the device output,
#   and the silence between the end of a song and its restart in a loop.
# Usage: bench/mediacontrol_bench.sh BUILD_DIR [SONG.mid] [SECONDS]
# Runs a private PulseAudio server with a null sink (as the tests do); needs pulseaudio,
# pulseaudio-utils and fluidsynth.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SONG.mid] [SECONDS]}
here=$(cd "$(dirname "$0")" && pwd)
song=${2:-$here/../data/k58tavn.mid}
seconds=${3:-10}
bench=$build/bench/mediacontrol_bench
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
sink=lumora_bench

work=$(mktemp -d)
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
recorder=
cleanup() {
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null || true
    [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] && kill "$(cat "$XDG_RUNTIME_DIR/pulse/pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

pulseaudio -n -D --exit-idle-time=-1 --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=$sink rate=44100 channels=2" 2>/dev/null
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
# A low-latency client keeps the null sink at the pace of the clock.
parecord -d $sink.monitor --latency-msec=20 --file-format=wav "$work/keep.wav" &
recorder=$!
sleep 0.5

# A piano note at 0 and the end of the song at 1 s: onsets for latency and the loop gap.
python3 - "$work/onset.mid" <<'PY'
import struct, sys
track = bytes.fromhex("00ff51030f4240" "00c000" "00903c7f") + bytes([0x82, 0x2c]) \
    + bytes.fromhex("803c00") + bytes([0x85, 0x3c]) + bytes.fromhex("ff2f00")
smf = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 1000) + b"MTrk" + struct.pack(">I", len(track)) + track
open(sys.argv[1], "wb").write(smf)
PY

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

echo "# song: $song, ${seconds} s windows"
fluidsynth -ni -q -a pulseaudio "$soundfont" "$song" >/dev/null 2>&1 &
reference=$!
sleep 2
before=$(cpu_ticks $reference)
sleep "$seconds"
after=$(cpu_ticks $reference)
kill $reference 2>/dev/null || true
wait $reference 2>/dev/null || true
reference_cpu=$(echo "scale=2; ($after - $before) * 100 / $ticks / $seconds" | bc)
echo "fluidsynth_cpu_playing_percent $reference_cpu"

ours=$("$bench" play-cpu "$song" "$seconds" 2>/dev/null)
echo "$ours"
ours_cpu=$(echo "$ours" | awk '/cpu_playing_percent/ {print $2}')
echo "ratio_cpu_playing_vs_fluidsynth $(echo "scale=3; $ours_cpu / $reference_cpu" | bc)"

"$bench" idle-cpu "$song" 5 2>/dev/null

/usr/bin/time -o "$work/rss" -f "%M" fluidsynth -ni -q -F "$work/ref.wav" "$soundfont" "$song" >/dev/null 2>&1
reference_rss=$(tail -1 "$work/rss")
echo "fluidsynth_F_peak_rss_mb $(echo "scale=1; $reference_rss / 1024" | bc)"
ours_rss=$(echo "$ours" | awk '/peak_rss_mb/ {print $2}')
echo "ratio_peak_rss_vs_fluidsynth_F $(echo "scale=3; $ours_rss * 1024 / $reference_rss" | bc)"

"$bench" latency "$work/onset.mid" $sink 10 2>/dev/null
"$bench" loop-gap "$work/onset.mid" $sink 10 2>/dev/null
