#!/usr/bin/env bash
# The private sound server of headless.sh on PipeWire (LUMORA_SOUND_SERVER=pipewire): it answers
# as PulseAudio does, its null sink is the default, and a tone played there reaches the sink's
# monitor. Skipped when PipeWire or the PulseAudio tools are not installed.
set -euo pipefail
# shellcheck source=headless.sh
source "$(dirname "$0")/headless.sh"
if missing=$(headless_missing_tool pipewire wireplumber pipewire-pulse dbus-daemon pactl paplay \
    parecord sox); then
    echo "skipped: $missing is not installed"
    exit 77
fi
fail() {
    echo "FAIL: $*"
    exit 1
}

headless_begin
LUMORA_SOUND_SERVER=pipewire headless_start_sound
pactl info | grep -q '^Server Name: .*PipeWire' || fail "the server is not PipeWire: $(pactl info)"
[ "$(pactl get-default-sink)" = "$headless_sink" ] || fail "the default sink is $(pactl get-default-sink)"

sox -n -r 44100 -c 2 -b 16 "$headless_dir/tone.wav" synth 1 sine 440 vol 0.5
parecord -d "$headless_sink.monitor" --latency-msec=20 --file-format=wav "$headless_dir/sink.wav" &
recorder=$!
headless_track $recorder
recorder_linked() { pactl list short source-outputs | grep -q .; }
headless_poll 20 recorder_linked || fail "the recorder did not connect"
paplay "$headless_dir/tone.wav"
sleep 0.5
headless_stop_process $recorder
peak=$(sox "$headless_dir/sink.wav" -n stat 2>&1 | awk '/^Maximum amplitude/ { print $3 }')
awk -v peak="${peak:-0}" 'BEGIN { exit !(peak > 0.4) }' || fail "the tone peaked at ${peak:-nothing} at the sink"
echo "ok: PipeWire's null sink plays a tone (peak $peak)"
