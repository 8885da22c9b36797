#!/usr/bin/env bash
# Takes the README's screenshots of both skins: the skin is drawn at random at each start, so the
# player starts again until each has been seen, playing a random song each time.
# Usage: packaging/screenshots/take.sh [player binary]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
player=${1:-$top/build/src/app/lumora}
here=$top/packaging/screenshots
# shellcheck source=../../tests/e2e/headless.sh
source "$top/tests/e2e/headless.sh"

headless_begin
headless_start_display
headless_start_sound
cp -r "$top/data" "$headless_dir/songs"
log=$headless_dir/player.log
declare -A taken=()
for attempt in $(seq 1 20); do
    (cd "$headless_dir/songs" && exec env QT_LOGGING_RULES="lumora.media.debug=true" "$player") \
        2>"$log" &
    app=$!
    headless_track $app
    headless_wait_window 30
    headless_focus
    xdotool key ctrl+r
    headless_poll 20 grep -q "Command Play" "$log"
    sleep 1.5
    import -window root "$headless_dir/root.png"
    skin=$(/usr/bin/python3 "$top/tests/e2e/checkshot.py" "$headless_dir/root.png" \
        "$headless_dir/songs" 0 "$(($(xdotool getwindowgeometry --shell "$headless_window" |
            sed -n 's/^HEIGHT=//p') - 278))" 2>/dev/null)
    number=$([ "$skin" = first ] && echo 1 || echo 2)
    if [ -z "${taken[$number]:-}" ]; then
        import -window "$headless_window" "$here/skin$number.png"
        taken[$number]=1
        echo "skin$number.png taken at start $attempt"
    fi
    xdotool key ctrl+x
    wait $app || true
    [ ${#taken[@]} -lt 2 ] || exit 0
done
echo "only ${#taken[@]} skin(s) seen in 20 starts" >&2
exit 1
