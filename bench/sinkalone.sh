#!/usr/bin/env bash
# The real player on a private null sink that nothing else plays on or records from, so the sink
# runs at the latency the player asks for, as on a desktop where only the player plays.
#
#   sinkalone.sh PLAYER SONGS MODE SECONDS [RECORDER_MS]
#
# SONGS is a folder of MIDI files; the catalogue names of the data folder next to this script are
# filled with them in turn, so whatever song the player draws is one of them.
# MODE loop: Loop on, Choose Random Song; prints "end_period_ms X" for each end after the first
#            (the time from one "Command Prev" in the log to the next).
# MODE playall: Play All; prints "change_period_ms X" for each song change after the first.
# MODE cpu: Choose Random Song; prints "cpu_percent X", the player's processor use over SECONDS
#           from 3 s after Play.
# MODE demo: Play All of songs of any kind, RECORDER_MS needed; prints soundtimes.py's
#            "demo_change" line for each change (each song's own silences from its offline render
#            by lumora-render, found next to PLAYER in the build, or in LUMORA_RENDER).
# MODE demoloop: the same for Loop on, Choose Random Song: one song restarted at each end.
# For demo songs, bench/demosplice.py makes SONGS that take seconds, not minutes, per change.
# MODE pause, stop: Choose Random Song, then after 3 s a click on Pause or Stop, RECORDER_MS
#            needed; prints "to_silence_ms X" (soundtimes.py stop), and "heard_to_silence_ms X Y"
#            (soundtimes.py heard): the command's point in the song from the player's last
#            report of what is heard (its position, read over a private session bus the moment it
#            changes, plus the time from then to the command) to the last frame of the song
#            heard, found in its offline render (lumora-render, as for demo) by the sound.
# MODE stall: Loop on, Choose Random Song of organ songs (SONG_MS in LUMORA_SONG_MS, default
#            4000), RECORDER_MS needed; SINKALONE_STALL_AT seconds after Play (default 6: inside
#            the second play, the first may begin before the recording does) the player is
#            stopped (SIGSTOP) for SINKALONE_STALL seconds (default 1) and continued, as a
#            starved process would be.
#            Prints soundtimes.py's "play" line for each play that the recording holds whole.
# SINKALONE_KEEP=FOLDER keeps the player's log there in every mode (and PulseAudio's, at debug level
# with HEADLESS_PULSE_DEBUG=1: its rewinds), and the recording of demo, pause, stop and stall.
# LUMORA_SOUND_SERVER=pipewire runs it on PipeWire's PulseAudio service instead (headless.sh).
# With RECORDER_MS a recorder of that latency listens at the sink's monitor, and for loop and
# playall, "gap_ms X" gives the silence at each change, timed in the recording by sinkgaps.py
# (the songs must then be organ songs of makesongs.py, SONG_MS in LUMORA_SONG_MS, default 4000).
set -euo pipefail
player=$(realpath "$1")
songs=$(realpath "$2")
mode=$3
seconds=$4
recorder_ms=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/e2e/headless.sh
source "$here/../tests/e2e/headless.sh"

headless_begin
headless_start_display >&2
headless_start_sound >&2
case "$mode" in pause | stop) headless_start_bus >&2 ;; esac
mkdir -p "$headless_dir/songs"
mapfile -t sources < <(find "$songs" -maxdepth 1 -iname '*.mid' | sort)
index=0
for name in "$here"/../data/*.mid; do
    source_song=${sources[index % ${#sources[@]}]}
    cp "$source_song" "$headless_dir/songs/$(basename "$name")"
    echo "$(basename "$name") $source_song" >>"$headless_dir/songs.map"
    index=$((index + 1))
done
cp "$here"/../data/*.jpg "$here"/../data/*.gif "$headless_dir/songs/"

if [ -n "$recorder_ms" ]; then
    parecord -d "$headless_sink.monitor" --latency-msec="$recorder_ms" --file-format=wav \
        "$headless_dir/sink.wav" &
    headless_recorder=$!
    headless_track "$headless_recorder"
fi

log=$headless_dir/player.log
(cd "$headless_dir/songs" && echo $BASHPID >"$headless_dir/player.pid" &&
    exec env QT_LOGGING_RULES="lumora.media.debug=true;lumora.media.following.debug=true" "$player") \
    2>&1 | while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$log" &
headless_track $!
headless_poll 10 test -s "$headless_dir/player.pid"
headless_track "$(cat "$headless_dir/player.pid")"
headless_wait_window 30
headless_focus
sleep 2
case "$mode" in
loop) xdotool key ctrl+l ctrl+r ;;
playall) xdotool key ctrl+y ;;
cpu | pause | stop) xdotool key ctrl+r ;;
stall) xdotool key ctrl+l ctrl+r ;;
demo) xdotool key ctrl+y ;;
demoloop) xdotool key ctrl+l ctrl+r ;;
esac
if [ "$mode" = cpu ]; then
    sleep 3
    pid=$(cat "$headless_dir/player.pid")
    ticks=$(getconf CLK_TCK)
    before=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    sleep "$seconds"
    after=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    awk -v b="$before" -v a="$after" -v t="$ticks" -v s="$seconds" \
        'BEGIN { printf "cpu_percent %.2f\n", (a - b) * 100 / t / s }'
    exit 0
fi
if [ "$mode" = stall ]; then
    sleep "${SINKALONE_STALL_AT:-6}"
    pid=$(cat "$headless_dir/player.pid")
    kill -STOP "$pid"
    sleep "${SINKALONE_STALL:-1}"
    kill -CONT "$pid"
    sleep "$seconds"
    headless_stop_recording
    sox "$headless_dir/sink.wav" -t raw -e signed -b 16 -c 2 -r 44100 "$headless_dir/sink.raw"
    [ -z "${SINKALONE_KEEP:-}" ] || cp "$headless_dir/sink.raw" "$log" "$SINKALONE_KEEP/"
    python3 "$here/soundtimes.py" stall "$headless_dir/sink.raw" "${LUMORA_SONG_MS:-4000}"
    exit 0
fi
# The position the player reports, in microseconds: the point heard at its last report.
position() {
    dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.lumora \
        /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
        string:org.mpris.MediaPlayer2.Player string:Position | awk '{ print $NF }'
}
if [ "$mode" = pause ] || [ "$mode" = stop ]; then
    sleep 3
    # The middle of Pause or Stop, under the menu bar (the window's client area is 340x278).
    height=$(xdotool getwindowgeometry "$headless_window" | awk -F'[x ]' '/Geometry/ { print $NF }')
    xdotool mousemove --window "$headless_window" "$([ "$mode" = pause ] && echo 170 || echo 274)" \
        $((height - 278 + 158))
    # The command right after a fresh report (four a second while a song plays).
    last=$(position)
    while reported=$(position) && read_at=$EPOCHREALTIME && [ "$reported" = "$last" ]; do :; done
    xdotool click 1
    sleep 2
    headless_stop_recording
    sox "$headless_dir/sink.wav" -t raw -e signed -b 16 -c 2 -r 44100 "$headless_dir/sink.raw"
    [ -z "${SINKALONE_KEEP:-}" ] || cp "$headless_dir/sink.raw" "$log" "$SINKALONE_KEEP/"
    command=$([ "$mode" = pause ] && echo Pause || echo Close)
    python3 "$here/soundtimes.py" stop "$headless_dir/sink.raw" \
        "$(awk '$3 == "Command" && $4 == "Play" { print $1; exit }' "$log")" \
        "$(awk -v c="$command" '$3 == "Command" && $4 == "Play" { played = 1 }
            played && $3 == "Command" && $4 == c { print $1; exit }' "$log")"
    song=$(awk -v name="$(awk '$3 == "FileName" { print $4; exit }' "$log")" '$1 == name { print $2 }' \
        "$headless_dir/songs.map")
    python3 "$here/soundtimes.py" heard "$headless_dir/sink.raw" "$song" \
        "${LUMORA_RENDER:-$(dirname "$player")/../cli/lumora-render}" \
        /usr/share/sounds/sf2/FluidR3_GM.sf2 "$((reported / 1000))" \
        "$(awk -v c="$command" -v r="$read_at" '$3 == "Command" && $4 == "Play" { played = 1 }
            played && $3 == "Command" && $4 == c { print $1 - r; exit }' "$log")"
    exit 0
fi
sleep "$seconds"
headless_stop_recording
[ -z "${SINKALONE_KEEP:-}" ] || cp "$log" "$headless_dir/pulseaudio.log" "$SINKALONE_KEEP/" 2>/dev/null || true
if [ "$mode" = demo ] || [ "$mode" = demoloop ]; then
    # Each song played: the file named last, at each Open.
    awk 'NR == FNR { song[$1] = $2; next } $3 == "FileName" { name = $4 }
        $3 == "Command" && $4 == "Open" && name != "" { print $1, song[name] }' \
        "$headless_dir/songs.map" "$log" >"$headless_dir/played"
    sox "$headless_dir/sink.wav" -t raw -e signed -b 16 -c 2 -r 44100 "$headless_dir/sink.raw"
    [ -z "${SINKALONE_KEEP:-}" ] || cp "$headless_dir/sink.raw" "$log" "$headless_dir/played" "$SINKALONE_KEEP/"
    python3 "$here/soundtimes.py" demo "$headless_dir/sink.raw" "$headless_dir/played" \
        "${LUMORA_RENDER:-$(dirname "$player")/../cli/lumora-render}" \
        /usr/share/sounds/sf2/FluidR3_GM.sf2
    exit 0
fi
case "$mode" in
loop) awk '$3 == "Command" && $4 == "Prev" { if (last) printf "end_period_ms %.1f\n", ($1 - last) * 1000; last = $1 }' "$log" ;;
playall) awk '$3 == "FileName" { if (last) printf "change_period_ms %.1f\n", ($1 - last) * 1000; last = $1 }' "$log" ;;
esac
if [ -n "$recorder_ms" ]; then
    sox "$headless_dir/sink.wav" -t raw -e signed -b 16 -c 2 -r 44100 "$headless_dir/sink.raw"
    python3 "$here/sinkgaps.py" "$headless_dir/sink.raw" "${LUMORA_SONG_MS:-4000}" |
        awk '{ print "gap_ms", $1; if ($2 != "-") print "end_to_next_ms", $2 }'
fi
