#!/usr/bin/env bash
# The installed player as a desktop sees it: installed under a scratch prefix and DESTDIR, started
# from a folder that holds nothing but two songs, on a private session bus, virtual display and
# null sink. playerctl finds it, reads its title, pauses and resumes it; a second `lumora FILE`
# hands its file to the first one and exits; the menus' songs come from the installed folder.
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

for tool in dbus-run-session playerctl Xvfb pulseaudio pactl parecord sox; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
# A session bus of our own, so the desktop's players (if any) are neither seen nor disturbed.
if [ -z "${LUMORA_E2E_PRIVATE_BUS:-}" ]; then
    exec env LUMORA_E2E_PRIVATE_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

# shellcheck source=../e2e/headless.sh
source "$here/../e2e/headless.sh"
mkdir -p "$out"
rm -rf "${out:?}"/*
headless_begin
bus=$DBUS_SESSION_BUS_ADDRESS
headless_start_display || skip "no virtual display could be started"
headless_start_sound || skip "no PulseAudio server could be started"
export DBUS_SESSION_BUS_ADDRESS=$bus # the sound server started without it, the player needs it
# Screen readers: the accessibility bus has to be up before the player starts.
atspi=
if /usr/bin/python3 -c 'import pyatspi' 2>/dev/null &&
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1; then
    atspi=yes
fi

root=$headless_dir/root
prefix=/opt/lumora-e2e
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 ||
    fail "cmake --install failed"
player=$root$prefix/bin/lumora
folder=$headless_dir/elsewhere
mkdir -p "$folder"
cp "$data/k58belfr.mid" "$folder/song.mid"
cp "$data/ms_aubde.mid" "$folder/other.mid"

# ---- helpers
status_is() {
    [ "$(playerctl -p lumora status 2>/dev/null)" = "$1" ]
}
title_is() {
    [ "$(playerctl -p lumora metadata title 2>/dev/null)" = "$1" ]
}
player_listed() {
    playerctl -l 2>/dev/null | grep -qx lumora
}
wav=$out/sink.wav
now() {
    headless_position "$wav"
}
# expect_sound <what> <from> <to> <loud|silent>
expect_sound() {
    local rms loud
    rms=$(headless_rms "$wav" "$2" "$(awk -v a="$2" -v b="$3" 'BEGIN { print b - a }')")
    [ -n "$rms" ] || fail "no sound measure for $1"
    loud=$(awk -v r="$rms" 'BEGIN { print (r > 0.002) ? "loud" : (r < 0.0005) ? "silent" : "faint" }')
    [ "$loud" = "$4" ] || fail "$1: RMS $rms from $2 to $3 s is $loud, not $4"
    ok "$1: RMS $rms ($loud)"
}
# listen <seconds>: lets the recording run on and prints where it stood before.
listen() {
    local from
    from=$(now)
    sleep "$1"
    echo "$from"
}

# ---- The first player, started from a folder without data, plays its file at once.
headless_record "$wav" || fail "the sink's recording does not flow"
log=$out/player.log
(cd "$folder" && exec env QT_LOGGING_RULES="lumora.media.debug=true" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$player" song.mid) \
    >"$log" 2>&1 &
first=$!
headless_track $first
headless_poll 30 player_listed || fail "playerctl does not list the player: $(playerctl -l 2>&1)"
ok "playerctl -l lists lumora"
headless_poll 20 status_is Playing || fail "status is $(playerctl -p lumora status 2>&1), not Playing"
headless_poll 10 title_is song || fail "title is $(playerctl -p lumora metadata title 2>&1), not song"
ok "playing, title: $(playerctl -p lumora metadata title)"
sleep 1.5 # the SoundFont loads in the background
from=$(listen 2)
expect_sound "song.mid from the command line" "$from" "$(now)" loud

playerctl -p lumora pause
headless_poll 10 status_is Paused || fail "Pause: status $(playerctl -p lumora status 2>&1)"
sleep 0.5
from=$(listen 1.5)
expect_sound "after playerctl pause" "$from" "$(now)" silent
playerctl -p lumora play-pause
headless_poll 10 status_is Playing || fail "PlayPause: status $(playerctl -p lumora status 2>&1)"
sleep 0.5
from=$(listen 1.5)
expect_sound "after playerctl play-pause (resumed)" "$from" "$(now)" loud

# ---- What a screen reader reads: role|name|description|value.
if [ -n "$atspi" ]; then
    /usr/bin/python3 "$here/readcontrols.py" lumora >"$out/controls.txt" 2>&1 ||
        fail "the accessibility tree cannot be read: $(cat "$out/controls.txt")"
    for want in "push button|Play|" "push button|Pause|" "push button|Stop|" \
        "slider|Song position|" "label|Current Song = Midi|"; do
        grep -qF "$want" "$out/controls.txt" || fail "no \"$want\" in $(cat "$out/controls.txt")"
    done
    grep -q '^slider|Song position|.*|value=[1-9]' "$out/controls.txt" ||
        fail "the slider's value is not the seconds played: $(grep slider "$out/controls.txt")"
    grep -q '^filler|[^|]' "$out/controls.txt" && fail "a named control reads as a filler"
    ok "screen readers read $(grep -c '^push button|' "$out/controls.txt") named push buttons, the slider and the label"
else
    echo "note: no pyatspi or accessibility bus; the screen-reader names are not checked"
fi

# ---- A second player hands its file over and exits.
second_log=$out/second.log
(cd "$folder" && timeout 20 "$player" other.mid) >"$second_log" 2>&1 ||
    fail "the second player failed ($?): $(cat "$second_log")"
ok "the second lumora exited at once"
headless_poll 10 title_is other || fail "after the hand-over the title is $(playerctl -p lumora metadata title 2>&1)"
grep -q "FileName $folder/other.mid" "$log" || fail "the first player was not given other.mid"
headless_poll 10 status_is Playing || fail "other.mid does not play"
kill -0 $first 2>/dev/null || fail "the first player is gone"
ok "the first player plays other.mid"

(cd "$folder" && timeout 20 "$player") >"$second_log" 2>&1 ||
    fail "a second player without a file failed ($?): $(cat "$second_log")"
grep -c "FileName" "$log" | grep -qx 2 || fail "a second player without a file changed the song"
ok "a second lumora without a file exited at once, the song plays on"

# ---- A song from the menus, found in the installed folder: Next is Choose Random Song.
playerctl -p lumora next
headless_poll 10 status_is Playing || fail "Next: status $(playerctl -p lumora status 2>&1)"
title=$(playerctl -p lumora metadata title)
url=$(playerctl -p lumora metadata xesam:url)
case "$title|$url" in
other* | *"|") fail "Next: title \"$title\", url \"$url\"" ;;
*"|file://$root$prefix/share/lumora/"*) ok "Next plays \"$title\" from the installed folder" ;;
*) fail "Next: $url is not in the installed folder" ;;
esac
sleep 1
from=$(listen 1.5)
expect_sound "a catalogue song from the installed folder" "$from" "$(now)" loud

playerctl -p lumora loop Track
headless_poll 5 bash -c '[ "$(playerctl -p lumora loop)" = Track ]' || fail "Loop is not Track"
ok "LoopStatus Track"
playerctl -p lumora stop
headless_poll 10 status_is Stopped || fail "Stop: status $(playerctl -p lumora status 2>&1)"
ok "stopped"
echo PASS
