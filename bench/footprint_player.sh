#!/usr/bin/env bash
# The real player's memory and the time its window's thread spends in Open and Play, driven by
# keys and clicks on a private display with sound into a private null sink (tests/e2e/headless.sh).
#
#   bench/footprint_player.sh PLAYER DATA_FOLDER ALL_PROGRAMS_SONG [RANDOM_SONGS]
#
# Prints "key value" lines: resident memory at start, after the song that uses every program
# (File > Open, Play), after a demo song (Choose Random Song) and Stop; then, over RANDOM_SONGS
# (default 20) Choose Random Song in a row, the milliseconds from each "Command Open" to the
# "Command Play" after it in the media log: Open's share of the window's thread.
set -euo pipefail
player=$(realpath "$1")
data=$2
all_programs=$3
songs=${4:-20}
# shellcheck source=../tests/e2e/headless.sh
source "$(cd "$(dirname "$0")/../tests/e2e" && pwd)/headless.sh"

headless_begin
headless_start_display
headless_start_sound
cp -r "$data" "$headless_dir/songs"
cp "$all_programs" "$headless_dir/every-program.mid"
log=$headless_dir/media.log
(cd "$headless_dir/songs" && exec env QT_LOGGING_RULES="lumora.media.debug=true" \
    QT_MESSAGE_PATTERN="%{time process} %{category}: %{message}" "$player") 2>"$log" &
app=$!
headless_track $app
headless_wait_window 30 || { echo "no window:" >&2; tail -5 "$log" >&2; exit 1; }
headless_focus
# shellcheck disable=SC2034 # SCREEN and WINDOW come with the others
eval "$(xdotool getwindowgeometry --shell "$headless_window")"
top=$((Y + HEIGHT - 278))
click_button() { xdotool mousemove --sync $((X + $1 + 50)) $((top + 158)) click 1; }
rss() { awk '/VmRSS/ {printf "%.1f\n", $2 / 1024}' "/proc/$app/status"; }

sleep 3 # the SoundFont loads in the background
echo "rss_start_mb $(rss)"
xdotool key ctrl+o
sleep 1.5
xdotool type --delay 5 "$headless_dir/every-program.mid"
xdotool key Return
sleep 0.5
click_button 0 # Play
sleep 4
echo "rss_after_all_programs_mb $(rss)"
xdotool key ctrl+r
sleep 3
click_button 224 # Stop
sleep 1
echo "rss_after_demo_and_stop_mb $(rss)"
for _ in $(seq "$songs"); do
    xdotool key ctrl+r
    sleep 0.7
done
click_button 224
sleep 0.5
echo "rss_end_mb $(rss)"
awk '$2 == "lumora.media:" && $3 == "Command" {
        if ($4 == "Open") open = $1
        else if ($4 == "Play" && open != "") { printf "%.1f\n", ($1 - open) * 1000; open = "" }
        else open = ""
    }' "$log" | sort -n >"$headless_dir/open.ms"
echo "open_to_play_ms_median $(awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}' "$headless_dir/open.ms")"
echo "open_to_play_ms_worst $(tail -1 "$headless_dir/open.ms")"
echo "open_to_play_count $(wc -l <"$headless_dir/open.ms")"
