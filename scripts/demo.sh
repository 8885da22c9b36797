#!/usr/bin/env bash
# A short demonstration for machines without a display: the player runs on a private virtual
# display and plays into a private silent sound card, Choose Random Song picks a song, and a
# screenshot and a recording of what it played are left under build/demo/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
player=${LUMORA_PLAYER:-$top/build/src/app/lumora}
out=${LUMORA_DEMO_DIR:-$top/build/demo}
seconds=${LUMORA_DEMO_SECONDS:-6}

# shellcheck source=../tests/e2e/headless.sh
source "$top/tests/e2e/headless.sh"

if tool=$(headless_missing_tool Xvfb xdotool pulseaudio pactl parecord sox import); then
    echo "The demonstration needs $tool; install the packages with: bash scripts/install-deps.sh demo" >&2
    exit 1
fi
if [ ! -x "$player" ]; then
    echo "No player at $player; build it first with: bash scripts/run.sh" >&2
    exit 1
fi

mkdir -p "$out"
rm -f "$out/lumora-demo.png" "$out/lumora-demo.wav" "$out/lumora-demo.log"
headless_begin
headless_start_display
headless_start_sound

# The player looks up songs and pictures in its working directory; a copy keeps data/ as shipped.
cp -r "$top/data" "$headless_dir/songs"
headless_record "$out/lumora-demo.wav"
(cd "$headless_dir/songs" && exec env QT_LOGGING_RULES="lumora.media.debug=true" "$player") \
    2>"$out/lumora-demo.log" &
headless_track $!
if ! headless_wait_window 30; then
    echo "The player's window did not appear; its log is $out/lumora-demo.log" >&2
    exit 1
fi
echo "The player is up on virtual display $DISPLAY; choosing a random song (Ctrl+R)."
headless_focus
xdotool key ctrl+r
if ! headless_poll 20 grep -q "Command Play" "$out/lumora-demo.log"; then
    echo "The player did not start a song; its log is $out/lumora-demo.log" >&2
    exit 1
fi
song=$(sed -n 's/^lumora.media: FileName //p' "$out/lumora-demo.log" | tail -1)
echo "Playing $song for $seconds seconds..."
sleep "$seconds"
import -window "$headless_window" "$out/lumora-demo.png"
# Exit (Ctrl+X) ends the player at once.
xdotool key ctrl+x
headless_stop_recording
headless_end

rms=$(sox "$out/lumora-demo.wav" -n stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }')
length=$(sox "$out/lumora-demo.wav" -n stat 2>&1 | awk '/^Length/ { print $3 }')
echo "Screenshot: $out/lumora-demo.png"
echo "Recording:  $out/lumora-demo.wav ($length s, RMS amplitude $rms; silence is 0)"
echo "Media log:  $out/lumora-demo.log"
if awk -v r="${rms:-0}" 'BEGIN { exit !(r < 0.0005) }'; then
    echo "No sound was recorded: see \"No sound?\" in README.md and the warnings in the media log." >&2
    exit 1
fi
