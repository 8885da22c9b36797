#!/usr/bin/env bash
# Drives the real player as a user does: keys and clicks on a private virtual display, sound into
# a private null sink. Checks what the handlers told the media control (its debug log), what came
# out of the sink, and what the window shows.
# Usage: e2e_player.sh <player binary> <data folder> <folder for the logs, recordings and shots>
# Exits 77 (skipped) when the virtual display, the sound server or the input tools are missing.
set -euo pipefail
player=$1
data=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
# shellcheck source=headless.sh
source "$here/headless.sh"

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    if [ -n "${log:-}" ] && [ -f "$log" ]; then
        echo "--- the player's log without progress lines:" >&2
        grep -v 'TimeFormat 0' "$log" >&2 || true
    fi
    exit 1
}

if tool=$(headless_missing_tool Xvfb xdotool pulseaudio pactl parecord sox import); then
    skip "$tool is not installed"
fi
"$python" -c 'import PIL' 2>/dev/null || skip "$python has no PIL (python3-pil)"
[ -x "$player" ] || fail "no player at $player"

mkdir -p "$out"
rm -f "$out"/*.log "$out"/*.wav "$out"/*.png
headless_begin
headless_start_display || skip "no virtual display could be started"
headless_start_sound || skip "no PulseAudio server could be started"
cp -r "$data" "$headless_dir/songs"

# ---- The media log: only what the handlers sent, not the progress polling nor warnings.

commands_seen() {
    sed -n 's/^lumora\.media: \(Command [^ ]*\|FileName .*\)$/\1/p' "$log"
}

commands_reached() {
    [ "$(commands_seen | wc -l)" -ge "$1" ]
}

# expect_commands <what> <command...>: waits until the commands after the mark have arrived and
# compares them with the list; then the mark moves past them.
expect_commands() {
    local what=$1
    shift
    local want
    want=$(printf '%s\n' "$@")
    local total=$((mark + $#))
    headless_poll 20 commands_reached "$total" || true
    # A stray command right behind the expected ones would be missed without this short look.
    sleep 0.3
    local got
    got=$(commands_seen | tail -n +$((mark + 1)))
    if [ "$got" != "$want" ]; then
        fail "$what sent"$'\n'"${got:-(nothing)}"$'\n'"instead of"$'\n'"$want"
    fi
    mark=$total
    local said=nothing
    [ -z "$want" ] || said=$(echo "$want" | paste -sd, -)
    echo "ok: $what sent $said"
}

# ---- The window: its place on the root window and its picture buttons.

client_left=0
client_top=0
menu_height=0

measure_window() {
    # shellcheck disable=SC2034 # SCREEN and WINDOW come with the others and are not needed
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$headless_window")"
    [ "$WIDTH" -eq 340 ] || fail "the window is $WIDTH px wide instead of 340"
    local menu=$((HEIGHT - 278))
    if [ "$menu" -lt 15 ] || [ "$menu" -gt 30 ]; then
        fail "the window is $HEIGHT px high: no 340x278 area under a menu bar"
    fi
    client_left=$X
    client_top=$((Y + menu))
    menu_height=$menu
    echo "ok: window ${WIDTH}x$HEIGHT at $X,$Y, a $menu px menu bar over the 340x278 area"
}

# click_button <1-3>: a click in the middle of Play, Pause or Stop.
button_middle() {
    local lefts=(0 16 120 224)
    echo "$((client_left + ${lefts[$1]} + 50)) $((client_top + 128 + 30))"
}

click_button() {
    # shellcheck disable=SC2046
    xdotool mousemove --sync $(button_middle "$1") click 1
}

# shot_shows_skin <name> [pressed button]: one screenshot compared with the skin's pictures;
# sets seen to the skin recognised.
shot_shows_skin() {
    local shot="$out/$1.png"
    import -window root "$shot"
    local pressed=()
    [ -z "${2:-}" ] || pressed=("$2")
    seen=$("$python" "$here/checkshot.py" "$shot" "$headless_dir/songs" "$client_left" \
        "$client_top" "${pressed[@]}" 2>"$out/$1.check")
}

# check_pictures <name> [pressed button]: the window shows one skin's pictures, the same skin
# all along one run; a window just mapped may take a moment to paint.
check_pictures() {
    local seen=
    headless_poll 10 shot_shows_skin "$@" || fail "$1: $(tail -1 "$out/$1.check")"
    if [ -n "${skin:-}" ] && [ "$seen" != "$skin" ]; then
        fail "$1: the $seen skin is shown, the $skin skin before"
    fi
    skin=$seen
    echo "ok: $1 shows the $skin skin's pictures${2:+ with button $2 pressed}"
}

# ---- Loop's check mark, seen in the open File menu: its shortcut works with the menu open.

screen_differs() {
    import -window root "$out/$2.png"
    [ "$(compare -metric AE "$out/$1.png" "$out/$2.png" null: 2>&1 || true)" != 0 ]
}

screen_matches() {
    ! screen_differs "$@"
}

# toggle_loop_in_open_menu: Ctrl+L twice with File open; the menu changes, then changes back.
toggle_loop_in_open_menu() {
    xdotool mousemove --sync $((client_left + 14)) $((client_top - menu_height / 2)) click 1
    headless_poll 10 screen_differs start menu-closed || fail "the File menu did not open"
    sleep 0.5
    import -window root "$out/menu-open.png"
    xdotool key ctrl+l
    headless_poll 10 screen_differs menu-open menu-loop-on ||
        fail "Ctrl+L changed nothing in the open File menu"
    xdotool key ctrl+l
    headless_poll 10 screen_matches menu-open menu-loop-off ||
        fail "a second Ctrl+L did not take Loop's mark away again"
    xdotool key Escape
    headless_poll 10 screen_matches start menu-closed || fail "Escape did not close the File menu"
    echo "ok: Ctrl+L sets and clears Loop's mark in the open File menu"
}

# ---- Sound: the RMS of a stretch of the recording, between marks on its timeline.

wav="$out/e2e.wav"

position() {
    headless_position "$wav"
}

# expect_sound <what> <from> <to> loud|silent
expect_sound() {
    local what=$1 from=$2 to=$3 want=$4
    local rms
    rms=$(headless_rms "$wav" "$from" "$(awk -v a="$from" -v b="$to" 'BEGIN { print b - a }')")
    [ -n "$rms" ] || fail "no sound measure for $what ($from-$to s)"
    local loud
    loud=$(awk -v r="$rms" 'BEGIN { print (r > 0.002) ? "loud" : (r < 0.0005) ? "silent" : "faint" }')
    [ "$loud" = "$want" ] || fail "$what: RMS $rms from $from to $to s is $loud, not $want"
    echo "ok: $what: RMS $rms ($loud) from $from to $to s"
}

# Marks are taken just before each action, so its effect comes after its mark; stretches start a
# settling time after one mark and end at the next.
after() {
    awk -v t="$1" -v d="$2" 'BEGIN { printf "%.3f\n", t + d }'
}

recording_reached() {
    awk -v now="$(headless_position "$wav")" -v until="$1" 'BEGIN { exit !(now >= until) }'
}

# wait_recording <seconds>: lets the recording grow by that many seconds of sound.
wait_recording() {
    headless_poll 60 recording_reached "$(after "$(position)" "$1")" ||
        fail "the recording stopped growing"
}

# choose_random_song: after Ctrl+R, the commands naming a song of the data folder; sets song.
choose_random_song() {
    headless_poll 20 commands_reached $((mark + 3)) || fail "Choose Random Song sent no file name"
    song=$(commands_seen | tail -n +$((mark + 1)) | sed -n 's/^FileName //p' | head -1)
    case "$song" in
    *.mid) [ -n "$(find "$headless_dir/songs" -maxdepth 1 -iname "$song")" ] ||
        fail "Choose Random Song named $song, which is not in the data folder" ;;
    *) fail "Choose Random Song named '${song}', not a MIDI file" ;;
    esac
    expect_commands "Choose Random Song (Ctrl+R)" "Command Close" "Command Close" "FileName $song" \
        "Command Close" "Command Open" "Command Play"
}

# start_player <log name>: the player in the copied data folder, with the media log on.
start_player() {
    log="$out/$1.log"
    mark=0
    (cd "$headless_dir/songs" && exec env QT_LOGGING_RULES="lumora.media.debug=true" "$player") \
        2>"$log" &
    app=$!
    headless_track $app
    headless_wait_window 30 || fail "the player's window did not appear"
    headless_focus
}

player_exited() {
    ! kill -0 "$app" 2>/dev/null
}

# expect_exit <what>: the player ends by itself, successfully.
expect_exit() {
    headless_poll 20 player_exited || fail "the player still runs after $1"
    local status=0
    wait "$app" || status=$?
    [ "$status" -eq 0 ] || fail "the player ended with status $status after $1"
    echo "ok: the player ended after $1"
}

# ======== First run: every control, then the window is closed.

headless_record "$wav" || fail "the recorder did not start"
start_player session
measure_window
check_pictures start

toggle_loop_in_open_menu
expect_commands "Loop (Ctrl+L, twice)"

played=$(position)
xdotool key ctrl+r
choose_random_song
wait_recording 4

paused=$(position)
click_button 2
expect_commands "Pause" "Command Pause"
wait_recording 3

replayed=$(position)
click_button 1
expect_commands "Play" "Command Close" "Command Open" "Command Play"
wait_recording 4

# Stop pressed and held shows its pressed picture; releasing it is the click.
# shellcheck disable=SC2046
xdotool mousemove --sync $(button_middle 3) mousedown 1
sleep 0.5
check_pictures stop-held 3
stopped=$(position)
xdotool mouseup 1
expect_commands "Stop" "Command Close" "Command Open"
wait_recording 4

restarted=$(position)
click_button 1
expect_commands "Play after Stop" "Command Close" "Command Open" "Command Play"
wait_recording 3
check_pictures playing
closing=$(position)

"$python" "$here/closewindow.py" "$headless_window"
expect_exit "its window was closed"
expect_commands "Closing the window" "Command Close"

headless_stop_recording
expect_sound "Choose Random Song plays" "$(after "$played" 1)" "$paused" loud
expect_sound "Pause is silent" "$(after "$paused" 0.15)" "$replayed" silent
expect_sound "Play plays again" "$(after "$replayed" 1)" "$stopped" loud
expect_sound "Stop is silent" "$(after "$stopped" 0.15)" "$restarted" silent
expect_sound "Play after Stop plays" "$(after "$restarted" 1)" "$closing" loud

# ======== Second run: a song from a song menu, then Exit (Ctrl+X) ends the player at once and
# sends nothing.

skin=
start_player exit
measure_window
check_pictures exit-start
# "Location Songs" is the second title of the menu bar; its first item is Belfry.
xdotool mousemove --sync $((client_left + 70)) $((client_top - menu_height / 2)) click 1
headless_poll 10 screen_differs exit-start menu-closed ||
    fail "the Location Songs menu did not open"
xdotool key Down Return
expect_commands "Location Songs > Belfry" "Command Close" "FileName k58belfr.mid"
click_button 1
expect_commands "Play" "Command Close" "Command Open" "Command Play"
xdotool key ctrl+r
choose_random_song
xdotool key ctrl+x
expect_exit "Exit (Ctrl+X)"
expect_commands "Exit (Ctrl+X)"

# ======== Third run: the window closed while Play All runs its loop inside the menu handler; the
# loop must end and the program with it.

skin=
start_player playall
xdotool key ctrl+y
choose_random_song
sleep 1
"$python" "$here/closewindow.py" "$headless_window"
expect_exit "its window was closed during Play All"
expect_commands "Closing the window during Play All" "Command Close"

# ======== Fourth run: Loop on a 4-s song with nothing else on the sink, which then runs at the
# latency the player asks for; then with a 20-ms recorder on it. Each end ("Prev") must come
# 3.9-4.4 s after the one before, and in the recording the songs follow each other with at most
# 20 ms of silence between them, timed by the sound itself.

mkdir -p "$headless_dir/short"
cp "$headless_dir"/songs/*.jpg "$headless_dir"/songs/*.gif "$headless_dir/short/"
for name in "$headless_dir"/songs/*.mid; do
    "$python" "$here/../../bench/makesongs.py" organ "$headless_dir/short/$(basename "$name")" 4000
done

# watch_ends <seconds>: the time of each end ("Prev") seen in the log meanwhile, looked for every
# 20 ms, into ends.
watch_ends() {
    local until count seen
    until=$(awk -v now="$EPOCHREALTIME" -v s="$1" 'BEGIN { printf "%.3f", now + s }')
    count=$(grep -c 'Command Prev$' "$log" || true)
    ends=
    while awk -v now="$EPOCHREALTIME" -v u="$until" 'BEGIN { exit !(now < u) }'; do
        seen=$(grep -c 'Command Prev$' "$log" || true)
        if [ "$seen" -gt "$count" ]; then
            ends="$ends $EPOCHREALTIME"
            count=$seen
        fi
        sleep 0.02
    done
}

# expect_loop_ends <what>: the ends watched, every 3.9-4.4 s.
expect_loop_ends() {
    local periods
    periods=$(echo "$ends" | awk '{ for (i = 2; i <= NF; i++) printf "%.2f ", $i - $(i - 1) }')
    [ "$(echo "$periods" | wc -w)" -ge 2 ] ||
        fail "$1: the song did not end on and on (${periods:-no ends})"
    for period in $periods; do
        awk -v p="$period" 'BEGIN { exit !(p >= 3.9 && p <= 4.4) }' ||
            fail "$1: a 4-s song on Loop ended after $period s ($periods)"
    done
    echo "ok: $1: a 4-s song on Loop ends every $periods s"
}

(cd "$headless_dir" && mv songs catalogue && mv short songs)
start_player loop
[ -z "$(pactl list source-outputs short)" ] || fail "something records the sink already"
xdotool key ctrl+l
xdotool key ctrl+r
watch_ends 17
expect_loop_ends "nothing else on the sink"

loopwav="$out/loop.wav"
parecord -d "$headless_sink.monitor" --latency-msec=20 --file-format=wav "$loopwav" &
headless_recorder=$!
headless_track "$headless_recorder"
watch_ends 13
headless_stop_recording
expect_loop_ends "a 20-ms recorder on the sink"
sox "$loopwav" -t raw -e signed -b 16 -c 2 -r 44100 "$out/loop.raw"
gaps=$("$python" "$here/../../bench/sinkgaps.py" "$out/loop.raw" 4000 | awk '{ printf "%s ", $1 }')
[ "$(echo "$gaps" | wc -w)" -ge 2 ] || fail "the recording holds no song following another"
for gap in $gaps; do
    awk -v g="$gap" 'BEGIN { exit !(g <= 20) }' || fail "Loop left $gap ms of silence ($gaps)"
done
echo "ok: Loop's silences between the songs, by the sound: ${gaps}ms"
"$python" "$here/closewindow.py" "$headless_window"
expect_exit "its window was closed during Loop"

# ======== Fifth run: Play All of demo songs, each its own first and last 2 s joined
# (bench/demosplice.py), so that it changes songs every 4 s. A 2-s recorder hears it (a
# high-latency client leaves the sink at the latency the player asks for). Each change may add at
# most 20 ms of silence to the songs' own, found in their offline renders, timed by the sound.

render="$(dirname "$player")/../cli/lumora-render"
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
if [ -x "$render" ] && [ -f "$soundfont" ]; then
    mkdir -p "$headless_dir/demo"
    cp "$headless_dir"/songs/*.jpg "$headless_dir"/songs/*.gif "$headless_dir/demo/"
    # Four demo songs under every catalogue name, in turn: songs whose starts the timing tells
    # apart from the end of the song before.
    demo_songs=(k58belfr k58pell k58alder k58corvn)
    index=0
    for name in "$headless_dir"/catalogue/*.mid; do
        source_song=${demo_songs[index % 4]}
        "$python" "$here/../../bench/demosplice.py" "$headless_dir/catalogue/$source_song.mid" \
            "$headless_dir/demo/$(basename "$name")" 2000 2000
        index=$((index + 1))
    done
    (cd "$headless_dir" && mv songs short && mv demo songs)
    demowav="$out/demo.wav"
    parecord -d "$headless_sink.monitor" --latency-msec=2000 --file-format=wav "$demowav" &
    headless_recorder=$!
    headless_track "$headless_recorder"
    log="$out/demo.log"
    (cd "$headless_dir/songs" && exec env QT_LOGGING_RULES="lumora.media.debug=true" "$player") \
        2>&1 | while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$log" &
    app=$!
    headless_track $app
    headless_wait_window 30 || fail "the player's window did not appear"
    headless_focus
    xdotool key ctrl+y
    sleep 24
    headless_stop_recording
    "$python" "$here/closewindow.py" "$headless_window"
    headless_poll 20 player_exited || fail "the player still runs after Play All of demo songs"
    # Each song played: the file named last, at each Open.
    awk -v folder="$headless_dir/songs" '$3 == "FileName" { name = $4 }
        $3 == "Command" && $4 == "Open" && name != "" { print $1, folder "/" name }' \
        "$log" >"$out/demo.played"
    sox "$demowav" -t raw -e signed -b 16 -c 2 -r 44100 "$out/demo.raw"
    changes=$("$python" "$here/../../bench/soundtimes.py" demo "$out/demo.raw" "$out/demo.played" \
        "$render" "$soundfont")
    echo "$changes" >"$out/demo.changes"
    # A change is timed twice: the silence there less the two songs' own, and how late the next
    # song's sound is against its render. A real gap shows in both; where one reading fails on a
    # song's quiet start or ringing end, the other still holds.
    # The first song is left out: the sink's monitor gives nothing before a stream plays, so
    # the recording starts with it, somewhere in its first sound.
    late=$(echo "$changes" | awk '$1 == "demo_change" && ++n > 1 && ($6 != "-" || $8 != "-") {
        excess = $6 == "-" ? $8 : $6; late = $8 == "-" ? $6 : $8
        printf "%.1f ", excess < late ? excess : late }')
    [ "$(echo "$late" | wc -w)" -ge 3 ] || fail "Play All of demo songs: too few changes timed ($changes)"
    for ms in $late; do
        awk -v l="$ms" 'BEGIN { exit !(l <= 20) }' ||
            fail "Play All of demo songs: a change left $ms ms of silence beyond the songs' own ($changes)"
    done
    echo "ok: Play All of demo songs: silence beyond the songs' own at each change: ${late}ms"
else
    echo "skipped: Play All of demo songs (no lumora-render or no $soundfont)"
fi

echo "PASS ($skin skin)"
