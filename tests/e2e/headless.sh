# shellcheck shell=bash
# A private virtual display and sound server for scripted runs of the player, shared by the
# end-to-end test and scripts/demo.sh. Source it, call headless_begin, and every
# process it starts is stopped by headless_end, which the EXIT trap runs even after a failure.
#
# Everything here is private to the caller: Xvfb gets a free display number, the sound server
# (PulseAudio, or PipeWire with LUMORA_SOUND_SERVER=pipewire) runs in the foreground as our child
# with its own HOME and XDG_RUNTIME_DIR, so other sessions on the same machine are neither used
# nor disturbed. The sound server's socket lives in a short /tmp folder (socket paths are limited
# to 108 bytes), removed at the end. HEADLESS_PULSE_DEBUG=1 has PulseAudio log at debug level
# (its rewinds and underruns) into pulseaudio.log in the private folder.

headless_dir=
headless_pids=()
headless_sink=lumora

# Prints the first tool of the list that is not installed and fails, or succeeds quietly.
headless_missing_tool() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$tool"
            return 0
        fi
    done
    return 1
}

# headless_poll <seconds> <command...>: runs the command every 0.1 s until it succeeds.
headless_poll() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

headless_now() {
    date +%s.%N
}

headless_track() {
    headless_pids+=("$1")
}

headless_begin() {
    headless_dir=$(mktemp -d /tmp/lumora-headless.XXXXXX)
    trap headless_end EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

# Tries display numbers from a random start above 100, well clear of the ones people type, until
# an Xvfb comes up: a number that another server took meanwhile only costs one more try.
headless_start_display() {
    local number=$((100 + RANDOM % 800)) tries
    for tries in 1 2 3 4 5 6 7 8 9 10; do
        number=$((number + 1))
        [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
        : >"$headless_dir/display"
        Xvfb ":$number" -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$headless_dir/display" \
            >"$headless_dir/xvfb.log" 2>&1 &
        local pid=$!
        headless_track $pid
        if headless_poll 30 headless_display_ready $pid; then
            if grep -q '[0-9]' "$headless_dir/display"; then
                export DISPLAY=":$number"
                unset WAYLAND_DISPLAY XAUTHORITY
                return 0
            fi
        fi
        headless_stop_process $pid
    done
    echo "Xvfb did not start:" >&2
    cat "$headless_dir/xvfb.log" >&2
    return 1
}

# Ready once Xvfb wrote its number, or finished (failed) when it has exited.
headless_display_ready() {
    grep -q '[0-9]' "$headless_dir/display" || ! kill -0 "$1" 2>/dev/null
}

headless_sound_ready() {
    pactl info >/dev/null 2>&1
}

# LUMORA_SOUND_SERVER=pipewire starts PipeWire, WirePlumber and pipewire-pulse instead of
# PulseAudio; either way clients find a PulseAudio server with a null sink as its default.
headless_start_sound() {
    export HOME="$headless_dir/home" XDG_RUNTIME_DIR="$headless_dir/run"
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset PULSE_SERVER PULSE_SINK DBUS_SESSION_BUS_ADDRESS
    case "${LUMORA_SOUND_SERVER:-pulseaudio}" in
    pulseaudio) headless_start_pulseaudio ;;
    pipewire) headless_start_pipewire ;;
    *)
        echo "LUMORA_SOUND_SERVER is pulseaudio or pipewire, not '$LUMORA_SOUND_SERVER'" >&2
        return 1
        ;;
    esac || return 1
    pactl set-default-sink "$headless_sink"
}

headless_start_pulseaudio() {
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --load=module-native-protocol-unix \
        --load="module-null-sink sink_name=$headless_sink rate=44100 channels=2" \
        ${HEADLESS_PULSE_DEBUG:+--log-level=debug --log-time=1} \
        >"$headless_dir/pulseaudio.log" 2>&1 &
    headless_track $!
    if ! headless_poll 30 headless_sound_ready; then
        echo "PulseAudio did not start:" >&2
        cat "$headless_dir/pulseaudio.log" >&2
        return 1
    fi
}

# A private session bus, once (after headless_start_sound, which sets XDG_RUNTIME_DIR).
headless_start_bus() {
    [ "${DBUS_SESSION_BUS_ADDRESS:-}" != "unix:path=$XDG_RUNTIME_DIR/bus" ] || return 0
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$XDG_RUNTIME_DIR/bus" \
        >"$headless_dir/dbus.log" 2>&1 &
    headless_track $!
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    headless_poll 30 test -S "$XDG_RUNTIME_DIR/bus" || { cat "$headless_dir/dbus.log" >&2; return 1; }
}

# WirePlumber quits without a session bus, so a private one comes first. Each part logs to a file
# of its own; the null sink is made through the PulseAudio protocol, as a desktop user would.
headless_start_pipewire() {
    local log=$headless_dir/pipewire.log part
    headless_start_bus || return 1
    pipewire >"$log" 2>&1 &
    headless_track $!
    headless_poll 30 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { cat "$log" >&2; return 1; }
    for part in wireplumber pipewire-pulse; do
        "$part" >"$headless_dir/$part.log" 2>&1 &
        headless_track $!
    done
    if ! headless_poll 30 headless_sound_ready ||
        ! pactl load-module module-null-sink sink_name="$headless_sink" rate=44100 channels=2 \
            >/dev/null; then
        echo "PipeWire's PulseAudio service did not start:" >&2
        cat "$log" "$headless_dir/pipewire-pulse.log" >&2
        return 1
    fi
    # WirePlumber follows the new sink a moment later; only then can it become the default.
    headless_poll 30 headless_sink_listed
}

headless_sink_listed() {
    pactl list short sinks 2>/dev/null | grep -q "[[:space:]]${headless_sink}[[:space:]]"
}

# headless_record <wav>: records the sink from now on. The sink's monitor delivers nothing while
# no stream plays, so a recording is shorter than the time it took; marks on its timeline only
# hold while something plays, and silences are best timed by the sound itself.
headless_record() {
    rm -f "$1"
    parecord -d "$headless_sink.monitor" --latency-msec=20 --file-format=wav "$1" &
    headless_recorder=$!
    headless_track "$headless_recorder"
    headless_poll 20 headless_recording_flows "$1"
}

# The sound server takes about a second to deliver the first samples after the WAV header.
headless_recording_flows() {
    [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt $((44 + 17640)) ]
}

# headless_position <wav>: how many seconds the recording holds now, to mark events on its
# timeline (16-bit stereo at 44.1 kHz after a 44-byte header); wall-clock times drift from it.
headless_position() {
    awk -v size="$(stat -c %s "$1")" 'BEGIN { printf "%.3f\n", (size - 44) / 176400 }'
}

headless_stop_recording() {
    if [ -n "${headless_recorder:-}" ]; then
        kill "$headless_recorder" 2>/dev/null || true
        wait "$headless_recorder" 2>/dev/null || true
        headless_recorder=
    fi
}

# headless_window_id: the player's window, once it is mapped.
headless_find_window() {
    headless_window=$(xdotool search --onlyvisible --name '^Lumora - Music Player$' 2>/dev/null | head -1)
    [ -n "$headless_window" ]
}

headless_wait_window() {
    headless_poll "${1:-30}" headless_find_window
}

headless_focus() {
    xdotool windowfocus --sync "$headless_window"
}

# headless_rms <wav> <start> <length>: the RMS amplitude of a stretch of the recording.
headless_rms() {
    sox "$1" -n trim "$2" "$3" stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }'
}

headless_stop_process() {
    local pid=$1
    kill -0 "$pid" 2>/dev/null || return 0
    kill "$pid" 2>/dev/null || true
    local tries=0
    while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Stops the newest first: the player and the recorder before the sound server and the display.
headless_end() {
    local i
    for ((i = ${#headless_pids[@]} - 1; i >= 0; i--)); do
        headless_stop_process "${headless_pids[i]}"
    done
    headless_pids=()
    if [ -n "$headless_dir" ]; then
        rm -rf "$headless_dir"
        headless_dir=
    fi
}
