#!/usr/bin/env bash
# The installed player as a desktop sees it: installed under a scratch prefix and DESTDIR, started
# from a folder holding nothing but two songs, on a private session bus, virtual display and null
# sink. playerctl finds it, reads its title, pauses and resumes it; a second `lumora FILE` hands
# its file over, and one that cannot be played changes nothing; the bus's clients' writes are
# type-checked; the menus' songs come from the install; three players started at once leave one.
# Usage: e2e_desktop.sh <build folder> <data folder> <folder for logs and recordings>
# Exits 77 (skipped) when a tool is missing.
set -euo pipefail
build=$1
data=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    [ -f "${log:-}" ] && { echo "--- the player's log:" >&2; grep -v 'TimeFormat 0' "$log" >&2; }
    exit 1
}
ok() {
    echo "ok: $*"
}

for tool in dbus-run-session playerctl dbus-send gdbus xdotool Xvfb pulseaudio pactl parecord sox; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
# A session bus of our own: the desktop's players (if any) are neither seen nor disturbed.
[ -n "${LUMORA_E2E_PRIVATE_BUS:-}" ] ||
    exec env LUMORA_E2E_PRIVATE_BUS=1 dbus-run-session -- bash "$0" "$@"

# shellcheck source=../e2e/headless.sh
source "$here/../e2e/headless.sh"
mkdir -p "$out"
rm -rf "${out:?}"/*
headless_begin
bus=$DBUS_SESSION_BUS_ADDRESS
headless_start_display || skip "no virtual display could be started"
headless_start_sound || skip "no PulseAudio server could be started"
export DBUS_SESSION_BUS_ADDRESS=$bus # the sound server runs without it, the player needs it
root=$headless_dir/root
prefix=/opt/lumora-e2e
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 ||
    fail "cmake --install failed"
player=$root$prefix/bin/lumora
folder=$headless_dir/elsewhere
mkdir -p "$folder"
cp "$data/k58belfr.mid" "$folder/song.mid"
cp "$data/ms_aubde.mid" "$folder/other.mid"
cp "$data/ms_aubde.mid" "$folder/$(printf 'caf\xe9.mid')" # a Latin-1 name, not UTF-8
echo "plain text" >"$folder/notmidi.mid"
ln -s loop.mid "$folder/loop.mid"

is() { # is <playerctl arguments...> <value>
    [ "$(playerctl -p lumora "${@:1:$#-1}" 2>/dev/null)" = "${!#}" ]
}
expect() { # expect <seconds> <playerctl arguments...> <value>
    headless_poll "$1" is "${@:2}" ||
        fail "playerctl ${*:2:$#-2} says \"$(playerctl -p lumora "${@:2:$#-2}" 2>&1)\", not \"${!#}\""
}
wav=$out/sink.wav
expect_sound() { # expect_sound <what> <loud|silent>: the next 1.5 s at the sink
    local from rms loud
    sleep 0.5
    from=$(headless_position "$wav")
    sleep 1.5
    rms=$(headless_rms "$wav" "$from" 1.5)
    loud=$(awk -v r="${rms:-0}" 'BEGIN { print (r > 0.002) ? "loud" : (r < 0.0005) ? "silent" : "faint" }')
    [ "$loud" = "$2" ] || fail "$1: RMS $rms is $loud, not $2"
    ok "$1: RMS $rms ($loud)"
}

# ---- Started from a folder without data, the player plays its file at once.
headless_record "$wav" || fail "the sink's recording does not flow"
log=$out/player.log
(cd "$folder" && exec env QT_LOGGING_RULES="lumora.media.debug=true" "$player" song.mid) \
    >"$log" 2>&1 &
first=$!
headless_track $first
headless_poll 30 bash -c 'playerctl -l 2>/dev/null | grep -qx lumora' ||
    fail "playerctl does not list the player: $(playerctl -l 2>&1)"
expect 20 status Playing
expect 10 metadata title song
ok "playerctl lists lumora, status Playing, title song"
sleep 1 # the SoundFont loads in the background
expect_sound "song.mid from the command line" loud
playerctl -p lumora pause
expect 10 status Paused
expect_sound "after playerctl pause" silent
playerctl -p lumora play-pause
expect 10 status Playing
expect_sound "after playerctl play-pause (resumed)" loud

# ---- A second player hands its file over and exits; without a file it only raises the first.
(cd "$folder" && timeout 20 "$player" other.mid) >"$out/second.log" 2>&1 ||
    fail "the second player failed: $(cat "$out/second.log")"
expect 10 metadata title other
expect 10 status Playing
grep -q "FileName $folder/other.mid" "$log" || fail "the first player was not given other.mid"
(cd "$folder" && timeout 20 "$player") >>"$out/second.log" 2>&1 || fail "a bare second player failed"
[ "$(grep -c FileName "$log")" = 2 ] || fail "a second player without a file changed the song"
kill -0 $first 2>/dev/null || fail "the first player is gone"
ok "a second lumora hands other.mid to the first and exits; a bare one changes nothing"

# ---- A file that cannot be played changes nothing in the running player: one line, non-zero.
refused() { # refused <what> <expected reason> <lumora arguments...>
    local status=0
    (cd "$folder" && timeout 20 "$player" "${@:3}") >"$out/refused.log" 2>&1 || status=$?
    [ "$status" -ne 0 ] || fail "$1: the second player exited 0"
    [ "$(grep -vc '^QStandardPaths' "$out/refused.log")" = 1 ] ||
        fail "$1: not one line: $(cat "$out/refused.log")"
    grep -q "$2" "$out/refused.log" || fail "$1 says $(cat "$out/refused.log")"
    ok "$1: status $status, \"$(grep -v '^QStandardPaths' "$out/refused.log")\""
}
refused "a file that is not MIDI" "cannot play $folder/notmidi.mid: not a MIDI file" notmidi.mid
refused "a missing file" "no such file" gone.mid
refused "a symbolic link loop" "too many levels of symbolic links" loop.mid
status=0
(cd "$folder" && timeout 20 "$player" -x.mid) >"$out/usage.log" 2>&1 || status=$?
[ "$status" = 2 ] && grep -q "Unknown option 'x.mid'" "$out/usage.log" ||
    fail "lumora -x.mid: status $status, $(cat "$out/usage.log")"
ok "lumora -x.mid is a usage error (status 2)"
[ "$(grep -c FileName "$log")" = 2 ] || fail "a refused file reached the running player"
gdbus call --session -d org.mpris.MediaPlayer2.lumora -o /org/mpris/MediaPlayer2 \
    -m org.mpris.MediaPlayer2.Player.OpenUri "file://$folder/notmidi.mid" >"$out/openuri.log" 2>&1 &&
    fail "OpenUri of a file that is not MIDI was answered: $(cat "$out/openuri.log")"
grep -q "InvalidArgs: cannot play" "$out/openuri.log" || fail "OpenUri says $(cat "$out/openuri.log")"
expect 10 metadata title other
expect 10 status Playing
expect_sound "the song after four refused files" loud

# ---- The bus's clients write what the interface types: anything else is an error.
set_property() { # set_property <name> <dbus-send variant>
    dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.lumora /org/mpris/MediaPlayer2 \
        org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player "string:$1" \
        "variant:$2" >"$out/set.log" 2>&1
}
for write in "Shuffle string:no" "Shuffle double:0.5" "LoopStatus boolean:true" \
    "Volume double:0.5" "Rate double:1.0"; do
    set_property $write && fail "$write was taken"
    grep -q "Error org.freedesktop.DBus.Error.\(InvalidArgs\|PropertyReadOnly\)" "$out/set.log" ||
        fail "$write: $(cat "$out/set.log")"
done
playerctl -p lumora volume 0.2 2>/dev/null && [ "$(playerctl -p lumora volume)" != 1.000000 ] &&
    fail "playerctl changed the volume"
expect 5 shuffle Off
expect 5 loop None
ok "Shuffle as a string or a double, LoopStatus as a boolean, Volume and Rate: refused"

# ---- Any name the file system holds plays, UTF-8 or not.
(cd "$folder" && timeout 20 "$player" "$(printf 'caf\xe9.mid')") >"$out/latin1.log" 2>&1 ||
    fail "the Latin-1 name was not handed over: $(cat "$out/latin1.log")"
expect 10 metadata xesam:url "file://$folder/caf%E9.mid"
expect 10 status Playing
! grep -q "already open" "$log" || fail "a hand-over that worked left a warning"
ok "caf\\xe9.mid plays, handed over as file://$folder/caf%E9.mid"

# ---- Next (Choose Random Song) plays a catalogue song, found in the installed folder.
playerctl -p lumora next
expect 10 status Playing
url=$(playerctl -p lumora metadata xesam:url)
[[ $url == "file://$root$prefix/share/lumora/"* ]] || fail "Next plays $url"
ok "Next plays \"$(playerctl -p lumora metadata title)\" from the installed folder"
expect_sound "a catalogue song from the installed folder" loud

# ---- Three players started at once (a file manager opening three files) leave one window.
headless_stop_process $first
headless_poll 20 bash -c '! playerctl -l 2>/dev/null | grep -qx lumora' || fail "the name stays taken"
pids=()
for song in song.mid other.mid "$(printf 'caf\xe9.mid')"; do
    (cd "$folder" && exec "$player" "$song") >>"$out/race.log" 2>&1 &
    pids+=($!)
    headless_track $!
done
running() { # how many of the three still run
    local pid count=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && count=$((count + 1)); done
    echo $count
}
headless_poll 60 bash -c "[ \$(xdotool search --onlyvisible --name '^Lumora - Music Player\$' | wc -l) -ge 1 ]" ||
    fail "no window after three starts"
test_one() { [ "$(running)" = 1 ]; }
headless_poll 60 test_one || fail "$(running) of three players still run: $(cat "$out/race.log")"
windows=$(xdotool search --onlyvisible --name '^Lumora - Music Player$' | wc -l)
[ "$windows" = 1 ] || fail "$windows windows after three starts at once"
expect 10 status Playing
ok "three starts at once: one window, one player, playing \"$(playerctl -p lumora metadata title)\""
echo PASS
