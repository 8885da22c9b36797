#!/bin/bash
# Every performance goal of the player in one command and one Markdown table: each figure beside
# a reference measured in the same run, as a ratio, with the median, minimum and maximum of
# several runs. Goals are reported, never asserted.
#
#   bench/run-all.sh BUILD_DIR > table.md
#
# Installs the packages it needs when they are missing (scripts/install-deps.sh run demo bench:
# fluidsynth, timidity, pulseaudio + pulseaudio-utils, pipewire + pipewire-pulse + wireplumber,
# xvfb, python3, /usr/bin/time, bc, Google Benchmark) and builds only the benchmark programs
# that are missing from BUILD_DIR (ninja -j2), turning them on in a build configured without them.
# Progress goes to standard error. It runs its own PulseAudio server (and PipeWire) with a null
# sink and its own X server, so it neither plays on nor draws on anything of yours. About 20
# minutes on two busy cores.
#
# BENCH_RUNS (default 3) runs of each figure; BENCH_PAINT_RUNS (default 5) starts of each window;
# BENCH_DEMO_PASSES (default 1) passes over all demo songs, each song rendered by the three
# programs back to back (a pass takes 2-3 minutes: three runs would blow the time budget);
# BENCH_DEMO_LIMIT=N renders only the first N demo songs (for trying the script out);
# BENCH_KEEP=1 keeps the working folder and its recordings; BENCH_ONLY=alone measures only the real
# player alone on the sink, on PulseAudio and on pipewire-pulse (BENCH_DEMO_PLAY_SECONDS, default
# 100, of Play All on demo songs for each).
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
data=$(cd "$here/../data" && pwd)
runs=${BENCH_RUNS:-3}
paint_runs=${BENCH_PAINT_RUNS:-5}
passes=${BENCH_DEMO_PASSES:-1}
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
sink=lumora_bench_all

note() { echo "[$(date +%T)] $*" >&2; }

# --- programs -----------------------------------------------------------------------------------
declare -A program=(
    [lumora]=$build/src/app/lumora
    [lumora-render]=$build/src/cli/lumora-render
    [lumora-midi-info]=$build/src/cli/lumora-midi-info
    [bench_render]=$build/bench/bench_render
    [mediacontrol_bench]=$build/bench/mediacontrol_bench
    [playall_bench]=$build/bench/playall_bench
    [barewindow]=$build/bench/barewindow
    [firstpaint]=$build/bench/firstpaint
)
# What the benchmarks run and measure with, installed when missing (apt-get, through sudo when
# not root), and the benchmark programs in a build that was configured without them.
bash "$here/../scripts/install-deps.sh" run demo bench >&2
if ! grep -q '^LUMORA_BUILD_BENCHMARKS:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null ||
    ! grep -q '^benchmark_DIR:PATH=/' "$build/CMakeCache.txt" 2>/dev/null; then
    note "configuring $build with the benchmarks"
    cmake -DLUMORA_BUILD_BENCHMARKS=ON "$build" >&2
fi
missing=()
for target in "${!program[@]}"; do
    [ -x "${program[$target]}" ] || missing+=("$target")
done
if [ ${#missing[@]} -gt 0 ]; then
    note "building ${missing[*]}"
    ninja -C "$build" -j2 "${missing[@]}" >&2
fi
for tool in fluidsynth timidity pulseaudio parec Xvfb python3 /usr/bin/time pipewire pipewire-pulse \
    wireplumber dbus-daemon soxi xdotool; do
    command -v "$tool" >/dev/null ||
        { echo "$0: $tool is needed: bash scripts/install-deps.sh bench demo" >&2; exit 1; }
done
[ -f "$soundfont" ] || { echo "$0: $soundfont is needed (fluid-soundfont-gm)" >&2; exit 1; }

# --- working folder, table rows and samples -----------------------------------------------------
work=$(mktemp -d /tmp/lumora-bench.XXXXXX)
figures=$work/figures.tsv
samples=$work/samples.tsv
: >"$figures"
: >"$samples"
xserver=
cleanup() {
    [ -n "$xserver" ] && kill "$xserver" 2>/dev/null || true
    if [ -f "$work/run/pulse/pid" ]; then kill "$(cat "$work/run/pulse/pid")" 2>/dev/null || true; fi
    if [ "${BENCH_KEEP:-0}" = 1 ]; then note "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# figure ID LABEL UNIT OURS REFERENCE GOAL DECIMALS: a row of the table, in order.
figure() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$figures"; }
# sample ID ours|ref RUN VALUE
sample() { [ -n "$4" ] && printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >>"$samples" || true; }
# value KEY < "key value" lines
value() { awk -v key="$1" '$1 == key {print $2}'; }
now() { echo "$EPOCHREALTIME"; }
seconds_since() { echo "$(now) - $1" | bc -l; }

# Runs a program with its output thrown away; "SECONDS PEAK_RSS_KB" of it.
timed() {
    /usr/bin/time -f "%e %M" -o "$work/time.out" "$@" >/dev/null 2>&1 || {
        echo "$0: failed: $*" >&2
        exit 1
    }
    cat "$work/time.out"
}

machine() {
    echo "- Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)," \
        "$(free -h | awk '/^Mem:/ {print $2 " memory, " $7 " available"}')"
    echo "- Load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)" \
        "(other jobs share the machine: compare ratios, not absolute figures)"
    echo "- Tree: $(git -C "$here/.." rev-parse --short HEAD 2>/dev/null || echo unknown)," \
        "$(date -u '+%Y-%m-%d %H:%M UTC'), $runs runs a figure unless n says otherwise"
    echo "- References: $(fluidsynth --version 2>/dev/null | head -1), $(timidity --version 2>/dev/null | head -1)," \
        "SoundFont $(basename "$soundfont") for all"
}
machine >"$work/machine.md"
table() {
    cat "$work/machine.md"
    echo "- Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    python3 "$here/maketable.py" "$figures" "$samples"
}

# --- songs ----------------------------------------------------------------------------------------
song3=$work/song-3min-6tracks.mid
"${program[bench_render]}" --write-song="$song3"
python3 "$here/makesongs.py" organ "$work/organ.mid" 2000
python3 "$here/makesongs.py" onset "$work/onset.mid"
python3 "$here/makesongs.py" allprograms "$work/allprograms.mid"
for mb in 5 10 15; do python3 "$here/makesongs.py" large "$work/large-$mb.mid" "$mb"; done
demo_songs=("$data"/*.mid)
demo_songs=("${demo_songs[@]:0:${BENCH_DEMO_LIMIT:-${#demo_songs[@]}}}")

# --- the real player alone on the sink ------------------------------------------------------------
# The real player with the sink to itself, each in a sound server of its own (sinkalone.sh), on
# PulseAudio and on PipeWire's PulseAudio service, each figure's two rows side by side.
declare -A server_name=([pulseaudio]=PulseAudio [pipewire]=pipewire-pulse)
alone() { # SERVER MODE SONGS SECONDS [RECORDER_MS]
    LUMORA_SOUND_SERVER=$1 bash "$here/sinkalone.sh" "${program[lumora]}" "$3" "$2" "$4" ${5:+"$5"} \
        >"$work/alone.out" 2>/dev/null || true
}
alone_figure() { # ID LABEL UNIT REFERENCE GOAL DECIMALS: one row for each sound server
    local server
    for server in pulseaudio pipewire; do
        figure "${1}_$server" "Real player on ${server_name[$server]}, $2" "$3" lumora "$4" "$5" "$6"
    done
}
alone_samples() { # ID RUN KEY [COLUMN [LESS]] < sinkalone output: each value of KEY a sample
    awk -v key="$3" -v column="${4:-2}" -v less="${5:-0}" \
        '$1 == key && $column != "-" { print NR, $column - less }' "$work/alone.out" |
        while read -r index value; do sample "$1" ours "$2.$index" "$value"; done
}
alone_figures() {
    note "the real player alone on the sink, PulseAudio and pipewire-pulse: Loop, Play All, Pause, Stop, CPU; $runs runs"
    mkdir -p "$work/organ4" "$work/song3" "$work/demo"
    python3 "$here/makesongs.py" organ "$work/organ4/organ.mid" 4000
    cp "$song3" "$work/song3/"
    # The shortest demo songs, so that a run holds a few changes (about 46 s each).
    for song in "$data"/*.mid; do
        echo "$("${program[lumora-midi-info]}" "$song" | sed -n 's/^length_ms=//p') $song"
    done | sort -n | head -3 | while read -r _ song; do cp "$song" "$work/demo/"; done
    python3 "$here/soundtimes.py" --check "${program[lumora-render]}" "$soundfont" "$work/demo"/*.mid
    local demo_seconds=${BENCH_DEMO_PLAY_SECONDS:-100} server run
    alone_figure alone_loop "nothing else on the sink: Loop of a 4-s song, end to the next end, less 4 s (per end)" ms - "max<=20" 1
    alone_figure alone_loop_gap "Loop of a 4-s song, a 2-s recorder on the sink: silence at each restart, by the sound" ms - "max<=20" 1
    alone_figure alone_playall_gap "Play All of 4-s songs, a 2-s recorder on the sink: silence at each change, by the sound" ms - "max<=20" 1
    alone_figure alone_demo_excess "Play All of the 3 shortest demo songs, a 2-s recorder: silence at each change beyond the songs' own, by the sound" ms - "max<=20" 1
    alone_figure alone_demo_period "Play All of the 3 shortest demo songs: media log's change to change, less the song's length" ms - "max<=20" 1
    alone_figure alone_pause "a 2-s recorder on the sink: Pause to silence, less Play to the first sound" ms - "max<=20" 1
    alone_figure alone_stop "a 2-s recorder on the sink: Stop to silence, less Play to the first sound" ms - "max<=20" 1
    alone_figure alone_pause_heard "a 2-s recorder on the sink: Pause to silence in song time, from the point heard at the command to the last frame heard (by the sound against the offline render)" ms - "max<=150" 1
    alone_figure alone_stop_heard "a 2-s recorder on the sink: Stop to silence in song time, the same way" ms - "max<=150" 1
    alone_figure alone_stall "a 2-s recorder on the sink: the player stopped 2.5 s mid-song (Loop of a 4-s song): its sound that play, less 4 s (0: nothing lost, the end when heard)" ms - - 1
    alone_figure alone_cpu "nothing else on the sink: CPU playing the 3-min song over 10 s" "% of a core" "lumora-render of the same song, per second of its sound" "max<=3" 2
    alone_figure alone_cpu_fluid "nothing else on the sink: CPU playing the 3-min song over 10 s" "% of a core" "fluidsynth -F of the same song, per second of its sound" - 2
    for run in $(seq "$runs"); do
        for server in pulseaudio pipewire; do
            alone "$server" loop "$work/organ4" 17
            alone_samples "alone_loop_$server" "$run" end_period_ms 2 4000
            alone "$server" loop "$work/organ4" 17 2000
            alone_samples "alone_loop_gap_$server" "$run" gap_ms
            alone "$server" playall "$work/organ4" 17 2000
            alone_samples "alone_playall_gap_$server" "$run" gap_ms
            alone "$server" pause "$work/song3" 0 2000
            alone_samples "alone_pause_$server" "$run" to_silence_ms
            alone_samples "alone_pause_heard_$server" "$run" heard_to_silence_ms
            alone "$server" stop "$work/song3" 0 2000
            alone_samples "alone_stop_$server" "$run" to_silence_ms
            alone_samples "alone_stop_heard_$server" "$run" heard_to_silence_ms
            SINKALONE_STALL=2.5 alone "$server" stall "$work/organ4" 8 2000
            awk '$1 == "play" && $3 > 500 { print "stall_sound_ms", $2 }' "$work/alone.out" >"$work/stall.out"
            mv "$work/stall.out" "$work/alone.out"
            alone_samples "alone_stall_$server" "$run" stall_sound_ms 2 4000
            alone "$server" cpu "$work/song3" 10
            sample "alone_cpu_$server" ours "$run" "$(value cpu_percent <"$work/alone.out")"
            sample "alone_cpu_fluid_$server" ours "$run" "$(value cpu_percent <"$work/alone.out")"
            # Demo songs are long: their changes come from the first run only.
            [ "$run" = 1 ] || continue
            alone "$server" demo "$work/demo" "$demo_seconds" 2000
            alone_samples "alone_demo_excess_$server" "$run" demo_change 6
            alone_samples "alone_demo_period_$server" "$run" demo_change 7
        done
        render_cpu "$run" "${program[lumora-render]}" "$song3" "$work/song3.wav" "$soundfont"
        sample_both alone_cpu "$run"
        render_cpu "$run" fluidsynth -ni -q -F "$work/song3.wav" -r 44100 "$soundfont" "$song3"
        sample_both alone_cpu_fluid "$run"
    done
}
# render_cpu RUN COMMAND...: the command's processor time per second of the sound it wrote, in %.
render_cpu() {
    shift
    /usr/bin/time -f "%U %S" -o "$work/time.out" "$@" >/dev/null 2>&1
    awk -v seconds="$(soxi -D "$work/song3.wav")" '{ print ($1 + $2) * 100 / seconds }' \
        "$work/time.out" >"$work/render_cpu.out"
}
sample_both() { # ID RUN: the last render_cpu as the reference of both servers' rows
    local server
    for server in pulseaudio pipewire; do
        sample "${1}_$server" ref "$2" "$(cat "$work/render_cpu.out")"
    done
}
# BENCH_ONLY=alone measures these figures and no others.
if [ "${BENCH_ONLY:-}" = alone ]; then
    alone_figures
    table
    exit 0
fi

# --- offline render -------------------------------------------------------------------------------
render_all() { # KEY SONG FIGURE-PREFIX RUN-KEY
    local song=$1 prefix=$2 key=$3 ours fluid timid
    ours=$(timed "${program[lumora-render]}" "$song" "$work/ours.wav" "$soundfont")
    fluid=$(timed fluidsynth -ni -q -F "$work/fluid.wav" -r 44100 "$soundfont" "$song")
    timid=$(timed timidity -Ow -s 44100 -o "$work/timidity.wav" -x "soundfont $soundfont" "$song")
    sample "${prefix}_time" ours "$key" "${ours% *}"
    sample "${prefix}_time" ref "$key" "${fluid% *}"
    sample "${prefix}_time_timidity" ours "$key" "${ours% *}"
    sample "${prefix}_time_timidity" ref "$key" "${timid% *}"
    sample "${prefix}_rss" ours "$key" "$(echo "${ours#* } / 1024" | bc -l)"
    sample "${prefix}_rss" ref "$key" "$(echo "${fluid#* } / 1024" | bc -l)"
    sample "${prefix}_rss_timidity" ours "$key" "$(echo "${ours#* } / 1024" | bc -l)"
    sample "${prefix}_rss_timidity" ref "$key" "$(echo "${timid#* } / 1024" | bc -l)"
}

note "offline render of the generated 3-minute song, $runs runs"
figure render3_time "Render 3-min 6-track song: time" s lumora-render "fluidsynth -F" "ratio<=0.8" 2
figure render3_time_timidity "Render 3-min song: time" s lumora-render "timidity -Ow" - 2
figure render3_rss "Render 3-min song: peak RSS" MB lumora-render "fluidsynth -F" - 0
figure render3_rss_timidity "Render 3-min song: peak RSS" MB lumora-render "timidity -Ow" - 0
for run in $(seq "$runs"); do render_all "$song3" render3 "$run"; done

note "offline render of ${#demo_songs[@]} demo songs, $passes pass(es)"
figure demo_song_time "Render each demo song: time (per song)" s lumora-render "fluidsynth -F" "ratio<=0.8" 2
figure demo_song_time_timidity "Render each demo song: time (per song)" s lumora-render "timidity -Ow" - 2
figure demo_song_rss "Render each demo song: peak RSS (per song)" MB lumora-render "fluidsynth -F" - 0
figure demo_song_rss_timidity "Render each demo song: peak RSS (per song)" MB lumora-render "timidity -Ow" - 0
figure demo_total_time "Render all ${#demo_songs[@]} demo songs: total time" s lumora-render "fluidsynth -F" "ratio<=0.8" 1
figure demo_total_time_timidity "Render all demo songs: total time" s lumora-render "timidity -Ow" - 1
for pass in $(seq "$passes"); do
    for song in "${demo_songs[@]}"; do render_all "$song" demo_song "$pass:$(basename "$song")"; done
done
awk -F'\t' '$1 ~ /^demo_song_time/ {split($3, k, ":"); total[$1 "\t" $2 "\t" k[1]] += $4}
    END {for (t in total) {split(t, p, "\t"); sub("demo_song", "demo_total", p[1]);
         printf "%s\t%s\t%s\t%.3f\n", p[1], p[2], p[3], total[t]}}' "$samples" >>"$samples"

# --- reader -------------------------------------------------------------------------------------------
note "reader throughput, $runs runs"
for mb in 5 10 15; do
    file=$work/large-$mb.mid
    size_mb=$(echo "$(stat -c %s "$file") / 1048576" | bc -l)
    figure "reader_$mb" "Read a ${mb} MB MIDI file (16 tracks, $(($(stat -c %s "$file") / 4 / 1000))k events): throughput, process start included" "MB/s" lumora-midi-info "cat > /dev/null" - 1
    cat "$file" >/dev/null # both read from the page cache
    for run in $(seq "$runs"); do
        start=$(now)
        "${program[lumora-midi-info]}" "$file" >/dev/null 2>&1
        sample "reader_$mb" ours "$run" "$(echo "$size_mb / $(seconds_since "$start")" | bc -l)"
        start=$(now)
        cat "$file" >/dev/null
        sample "reader_$mb" ref "$run" "$(echo "$size_mb / $(seconds_since "$start")" | bc -l)"
    done
done

# --- a private sound server and X server ------------------------------------------------------------
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio -n -D --exit-idle-time=-1 --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=$sink rate=44100 channels=2" 2>/dev/null
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
# Nothing else plays on the sink or records from it, as on a desktop where only the player
# plays: it runs at the latency the player asks for.

for display in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
done
Xvfb ":$display" -screen 0 1024x768x24 -br -nolisten tcp >/dev/null 2>&1 &
xserver=$!
export DISPLAY=:$display
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
sleep 0.5

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# --- live playback ------------------------------------------------------------------------------------
note "live playback processor use, $runs runs of 10 s, each player alone"
figure play_cpu "Play the 3-min song on the sound server: CPU over 10 s" "% of a core" "media control" "fluidsynth -a pulseaudio" "ratio<=1;max<=3" 2
figure play_server "Play the 3-min song: the sound server's own CPU over 10 s" "% of a core" "while the media control plays" "while fluidsynth plays" "ratio<=1" 2
figure play_rss "Play the 3-min song: peak RSS" MB "media control" "fluidsynth -a pulseaudio" - 0
server=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
for run in $(seq "$runs"); do
    # One at a time, so that the server's own processor use can be told apart; each measures a
    # 10-s window about 3 s in.
    "${program[mediacontrol_bench]}" play-cpu "$song3" 10 >"$work/play.out" 2>/dev/null &
    ours=$!
    sleep 3
    before=$(cpu_ticks "$server")
    sleep 10
    after=$(cpu_ticks "$server")
    wait $ours
    sample play_cpu ours "$run" "$(value cpu_playing_percent <"$work/play.out")"
    sample play_rss ours "$run" "$(value peak_rss_mb <"$work/play.out")"
    sample play_server ours "$run" "$(echo "($after - $before) * 100 / $ticks / 10" | bc -l)"

    fluidsynth -ni -q -a pulseaudio "$soundfont" "$song3" >/dev/null 2>&1 &
    reference=$!
    sleep 3
    before=$(cpu_ticks $reference)
    server_before=$(cpu_ticks "$server")
    sleep 10
    after=$(cpu_ticks $reference)
    server_after=$(cpu_ticks "$server")
    hwm=$(awk '/VmHWM/ {print $2}' "/proc/$reference/status")
    kill $reference 2>/dev/null || true
    wait $reference 2>/dev/null || true
    sample play_cpu ref "$run" "$(echo "($after - $before) * 100 / $ticks / 10" | bc -l)"
    sample play_rss ref "$run" "$(echo "$hwm / 1024" | bc -l)"
    sample play_server ref "$run" "$(echo "($server_after - $server_before) * 100 / $ticks / 10" | bc -l)"
done

note "processor use while idle, $runs runs of 3-s windows"
figure idle_closed "Idle, no song open: CPU" "% of a core" "media control" - "max<=0.5" 3
figure idle_paused "Paused: CPU" "% of a core" "media control" - "max<=0.5" 3
figure idle_stopped "Stopped: CPU" "% of a core" "media control" - "max<=0.5" 3
for run in $(seq "$runs"); do
    "${program[mediacontrol_bench]}" idle-cpu "$song3" 3 >"$work/idle.out" 2>/dev/null
    for state in closed paused stopped; do
        sample "idle_$state" ours "$run" "$(value "cpu_${state}_percent" <"$work/idle.out")"
    done
done

note "Play All waiting during a song against a loop that never waits, $runs runs of 3-s windows"
figure playall_thread "Play All waits during a song: CPU of the window's thread" "% of a core" "wait for events" "processEvents loop" "max<=0.5" 3
figure playall_nosynth "Play All waits during a song, no synth: CPU of the process" "% of a core" "wait for events" "processEvents loop" - 2
figure playall_process "Play All waits during a song, synth playing: CPU of the process" "% of a core" "wait for events" "processEvents loop" - 2
for run in $(seq "$runs"); do
    (cd "$work" && "${program[playall_bench]}" cpu "$song3" "$data" 3 >"$work/playall.out" 2>/dev/null)
    sample playall_thread ours "$run" "$(value synth_playall_wait_window_thread_percent <"$work/playall.out")"
    sample playall_thread ref "$run" "$(value synth_busy_loop_window_thread_percent <"$work/playall.out")"
    sample playall_nosynth ours "$run" "$(value nosynth_playall_wait_process_percent <"$work/playall.out")"
    sample playall_nosynth ref "$run" "$(value nosynth_busy_loop_process_percent <"$work/playall.out")"
    sample playall_process ours "$run" "$(value synth_playall_wait_process_percent <"$work/playall.out")"
    sample playall_process ref "$run" "$(value synth_busy_loop_process_percent <"$work/playall.out")"
done

# --- latency and gaps at the sink -----------------------------------------------------------------------
note "Play to first sample, $runs runs of 5"
figure latency "Play to the song's first sample at the sink (its note's own attack to the onset level, timed offline, taken off)" ms "media control" "device output woken" "max<=10" 1
figure latency_onset "Play to the first frame at the onset level (0.05), the note's attack included" ms "media control" "device output woken" - 1
figure pause_silence "Pause to silence at the sink (below 0.001 for 150 ms)" ms "media control" - "max<=20" 1
figure stop_silence "Stop to silence at the sink (below 0.001 for 150 ms)" ms "media control" - "max<=20" 1
figure loop_onsets "Loop restart, engine alone: onset to onset minus the song's length" ms "media control" - "max<=20" 1
for run in $(seq "$runs"); do
    "${program[mediacontrol_bench]}" latency "$work/onset.mid" "$sink" 5 >"$work/latency.out" 2>/dev/null
    sample latency ours "$run" "$(value play_to_sound_ms <"$work/latency.out")"
    sample latency ref "$run" "$(value device_wake_to_sound_ms <"$work/latency.out")"
    sample latency_onset ours "$run" "$(value play_to_onset_level_ms <"$work/latency.out")"
    sample latency_onset ref "$run" "$(value device_wake_to_sound_ms <"$work/latency.out")"
    "${program[mediacontrol_bench]}" silence "$song3" "$sink" 3 >"$work/silence.out" 2>/dev/null
    sample pause_silence ours "$run" "$(value pause_to_silence_ms <"$work/silence.out")"
    sample stop_silence ours "$run" "$(value stop_to_silence_ms <"$work/silence.out")"
    "${program[mediacontrol_bench]}" loop-gap "$work/onset.mid" "$sink" 3 >"$work/loopgap.out" 2>/dev/null
    sample loop_onsets ours "$run" "$(value loop_gap_ms <"$work/loopgap.out")"
done

# record NAME COMMAND...: what the sink plays while COMMAND runs, then the gaps found in it.
record() {
    local name=$1
    shift
    parec -d "$sink.monitor" --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw \
        >"$work/$name.raw" &
    local listener=$!
    sleep 0.3
    "$@" >/dev/null 2>&1 || true
    sleep 0.3
    kill $listener
    wait $listener 2>/dev/null || true
    python3 "$here/sinkgaps.py" "$work/$name.raw" 2000 >"$work/$name.gaps"
}
gap_samples() { # FIGURE SIDE NAME COLUMN
    awk -v column="$4" '$column != "-" {print NR, $column}' "$work/$3.gaps" |
        while read -r index gap; do sample "$1" "$2" "$index" "$gap"; done
}

note "gaps between songs at the sink: the window's Loop and Play All, fluidsynth's playlist"
# The analysis must find known gaps in the same song rendered offline before it times anything.
"${program[lumora-render]}" "$work/organ.mid" "$work/organ.wav" "$soundfont" >/dev/null 2>&1
python3 "$here/sinkgaps.py" --check "$work/organ.wav" 2000
figure loop_gap "Loop restart in the window: silence between the song's end and its restart (per restart)" ms "window + media control" "fluidsynth, same file twice" "max<=20" 1
figure loop_gap_eot "Loop restart in the window: End of Track to the first sample again (per restart)" ms "window + media control" "fluidsynth, same file twice" "max<=20" 1
figure playall_gap "Play All next song: silence between one song and the next (per change)" ms "window + media control" "fluidsynth, playlist" "max<=20" 1
figure playall_gap_eot "Play All next song: End of Track to the next song's first sample (per change)" ms "window + media control" "fluidsynth, playlist" "max<=20" 1
record window-loop bash -c "cd '$work' && '${program[playall_bench]}' loop organ.mid '$data' 11"
record window-playall bash -c "cd '$work' && '${program[playall_bench]}' playall organ.mid '$data' 13"
# The same buffers as ours (512 x 4 frames): its default 64-frame periods drop out under load.
organs=("$work/organ.mid" "$work/organ.mid" "$work/organ.mid" "$work/organ.mid" "$work/organ.mid")
record fluidsynth-playlist fluidsynth -ni -q -a pulseaudio -z 512 -c 4 "$soundfont" "${organs[@]}"
gap_samples loop_gap ours window-loop 1
gap_samples loop_gap ref fluidsynth-playlist 1
gap_samples loop_gap_eot ours window-loop 2
gap_samples loop_gap_eot ref fluidsynth-playlist 2
gap_samples playall_gap ours window-playall 1
gap_samples playall_gap ref fluidsynth-playlist 1
gap_samples playall_gap_eot ours window-playall 2
gap_samples playall_gap_eot ref fluidsynth-playlist 2

# The real player alone on the sink, on both sound servers.
alone_figures

# --- memory over a session, the window's thread in Open and Play, cold and warm starts ----------------
note "memory over a session of varied songs, the window's thread in Open and Play, $runs runs"
session_songs=50
figure rss_start "Session: RSS at start, SoundFont loaded" MB "media control" "fluidsynth -a pulseaudio, same list" - 0
figure rss_all_programs "Session: RSS after the song that uses every program" MB "media control" "fluidsynth -a pulseaudio, same list" - 0
figure rss_demo_stop "Session: RSS after that song, a demo song and Stop" MB "media control" "fluidsynth -a pulseaudio, same list" "max<=100" 0
figure rss_session_peak "Session of $session_songs songs (demo songs, every 11th the one with every program): peak RSS" MB "media control" "fluidsynth -a pulseaudio, same list" - 0
figure rss_session_end "Session of $session_songs songs: RSS at the end, closed" MB "media control" "fluidsynth -a pulseaudio, same list" - 0
figure open_play_median "Window's thread in Open + Play, median of $session_songs songs" ms "media control" - "max<=5" 3
figure open_play_worst "Window's thread in Open + Play, worst of $session_songs songs" ms "media control" - "max<=5" 3
figure open_worst "Window's thread in Open, worst of $session_songs songs" ms "media control" - - 3
figure first_cold "Play to first sample, cold: Close, Open, Play of a program never loaded (its attack taken off)" ms "media control" - - 1
figure first_warm "Play to first sample, warm: the same song again (its attack taken off)" ms "media control" - "max<=30" 1
for run in $(seq "$runs"); do
    "${program[mediacontrol_bench]}" footprint "$work/allprograms.mid" "$data" "$session_songs" \
        >"$work/footprint.out" 2>/dev/null
    for key in rss_start:rss_start_mb rss_all_programs:rss_after_all_programs_mb \
        rss_demo_stop:rss_after_demo_and_stop_mb rss_session_peak:session_rss_peak_mb \
        rss_session_end:session_rss_end_mb open_play_median:open_play_ms_median \
        open_play_worst:open_play_ms_worst open_worst:open_ms_worst; do
        sample "${key%%:*}" ours "$run" "$(value "${key#*:}" <"$work/footprint.out")"
    done
    # fluidsynth holds the whole SoundFont whatever it plays: its resident memory a few seconds in.
    fluidsynth -ni -q -a pulseaudio "$soundfont" "$work/allprograms.mid" "${demo_songs[@]}" \
        >/dev/null 2>&1 &
    reference=$!
    sleep 8
    rss=$(awk '/VmRSS/ {print $2 / 1024}' "/proc/$reference/status")
    kill $reference 2>/dev/null || true
    wait $reference 2>/dev/null || true
    for key in rss_start rss_all_programs rss_demo_stop rss_session_peak rss_session_end; do
        sample "$key" ref "$run" "$rss"
    done
    "${program[mediacontrol_bench]}" first-sample - "$sink" 5 >"$work/first.out" 2>/dev/null
    sample first_cold ours "$run" "$(value first_sample_cold_ms <"$work/first.out")"
    sample first_warm ours "$run" "$(value first_sample_warm_ms <"$work/first.out")"
done

# The real player, driven by keys and clicks on a private display of its own.
figure player_rss_start "Real player: RSS at start" MB "lumora" "fluidsynth -a pulseaudio, same list" - 0
figure player_rss_all_programs "Real player: RSS after File > Open of the song with every program, Play" MB "lumora" "fluidsynth -a pulseaudio, same list" - 0
figure player_rss_demo_stop "Real player: RSS after that, a demo song (Choose Random Song) and Stop" MB "lumora" "fluidsynth -a pulseaudio, same list" "max<=100" 0
figure player_open_play_worst "Real player: \"Command Open\" to \"Command Play\" in the media log, worst of 22 songs" ms "lumora" - "max<=5" 1
for run in $(seq "$runs"); do
    bash "$here/footprint_player.sh" "${program[lumora]}" "$data" "$work/allprograms.mid" 20 \
        >"$work/player.out" 2>/dev/null || true
    for key in player_rss_start:rss_start_mb player_rss_all_programs:rss_after_all_programs_mb \
        player_rss_demo_stop:rss_after_demo_and_stop_mb \
        player_open_play_worst:open_to_play_ms_worst; do
        sample "${key%%:*}" ours "$run" "$(value "${key#*:}" <"$work/player.out")"
    done
    for key in player_rss_start player_rss_all_programs player_rss_demo_stop; do
        sample "$key" ref "$run" "$(awk -v r="$run" '$1 == "rss_start" && $2 == "ref" && $3 == r {print $4}' "$samples")"
    done
done

# --- start to first paint ---------------------------------------------------------------------------------
note "start to first paint under Xvfb, $paint_runs runs"
figure paint "Start to first paint on the X display" ms "lumora (in data/)" "bare Qt window" "ratio<=1.2" 0
for run in $(seq "$paint_runs"); do
    sample paint ref "$run" "$("${program[firstpaint]}" "Bare window" "${program[barewindow]}" 2>/dev/null)"
    sample paint ours "$run" "$(cd "$data" && "${program[firstpaint]}" "Lumora - Music Player" "${program[lumora]}" 2>/dev/null)"
done

# --- the table ------------------------------------------------------------------------------------------------
table
