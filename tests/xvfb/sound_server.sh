#!/usr/bin/env bash
# The player against a real sound server: a private PulseAudio (or PipeWire's pulse
# server) on a socket of the test's own, with a null sink that suspends when idle.
#   exact   every fixture's sound arrives bit-exact through a pipe sink set to its format
#   pause   the stream is named after the movie, with the icon and the role; the player's
#           volume leaves the mixer's alone; Space corks the stream and the sink then
#           suspends; Space again plays on
#   server  the server killed mid-movie: the player says so and plays on; the server back:
#           the sound comes back in the same movie; Alt+F4 then exits 0
# usage: sound_server.sh LUNAVUE FIXTURES BENCH exact|pause|server [pulseaudio|pipewire]
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
kind=${5:-pulseaudio}
source "$(dirname "$0")/lib.sh"
unset SDL_AUDIODRIVER LUNAVUE_SOUND
export PULSE_SERVER="unix:$work/server/pulse"
server=""

start_sound_server() {
    mkdir -p "$work/server"
    "$BENCH/../scripts/sound-server" start "$kind" "$work/server" || fail "no sound server"
    server=1
}
stop_sound_server() {
    [ -z "$server" ] || "$BENCH/../scripts/sound-server" stop "$work/server"
    server=""
}
trap 'stop_sound_server; cleanup' EXIT

# The player as lib.sh starts it, but with the sound server's output.
start_player() {
    LUNAVUE_INI="$work/lunavue.ini" LUNAVUE_INSTANCE="sound-server-$$" LUNAVUE_STATS=1 \
        "$LUNAVUE" "$@" >"$work/stats.txt" 2>&1 &
    player=$!
}

# Waits (at most the seconds given) until the command succeeds.
wait_for() {  # seconds command...
    local tries=$(($1 * 10))
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
sink_is() { pactl list sinks short | awk '$2 == "out" { print $NF }' | grep -qx "$1"; }
stream_says() { pactl list sink-inputs | grep -qF "$1"; }
player_said() { grep -qiF "$1" "$work/stats.txt"; }

start_sound_server
case $4 in
exact)
    mkfifo "$work/pipe"
    for want in "$FIXTURES"/*.audio.pcm.gz; do
        name=$(basename "$want" .audio.pcm.gz)
        # The device's format: 8-bit sound unsigned, the rest 16-bit.
        read -r rate channels format < <(python3 -c "import json, sys; j = json.load(open(sys.argv[1]))
print(j['rate'], j['channels'], 'u8' if j['audio'] == 's8' else 's16le')" "$FIXTURES/$name.json")
        module=$(pactl load-module module-pipe-sink file="$work/pipe" sink_name=pipe \
            format=$format rate="$rate" channels="$channels" use_system_clock_for_timing=yes)
        pactl set-default-sink pipe
        cat "$work/pipe" >"$work/sound.raw" &
        reader=$!
        gzip -dc "$want" >"$work/want.pcm"
        QT_QPA_PLATFORM=offscreen start_player "$FIXTURES/$name.cpk" -play -close
        wait_player 60
        player_said "sound output: pulseaudio" || { cat "$work/stats.txt"; fail "$name did not play through the server"; }
        pactl unload-module "$module"
        kill "$reader" 2>/dev/null || true
        wait "$reader" 2>/dev/null || true
        echo "$name: $(grep underruns "$work/stats.txt")"
        if [ "$format" = u8 ]; then sound_is_reference 128; else sound_is_reference; fi
    done
    ;;
pause)
    start_window_manager
    python3 "$BENCH/sync_movie.py" "$work/sync.cpk" --seconds 30
    start_player "$work/sync.cpk" -play
    w=$(window_named sync.cpk)
    wait_for 10 stream_says 'media.name = "sync.cpk"' || fail "no stream named after the movie"
    stream_says 'application.icon_name = "lunavue"' || fail "the stream has no icon name"
    stream_says 'media.role = "video"' || fail "the stream has no role"
    stream_says 'application.name = "Lunavue"' || fail "the stream has no application name"
    wait_for 10 sink_is RUNNING || fail "the sink does not play"
    # The mixer's volume for the stream is the desktop's: the player's keys leave it.
    pactl set-sink-input-volume "$(pactl list sink-inputs short | cut -f1 | head -1)" 50%
    xdotool windowactivate --sync "$w" key 9 key space
    wait_for 5 stream_says 'Corked: yes' || fail "Space did not cork the stream"
    # Space has been taken, so 9 before it.
    stream_says '/  50% /' || { pactl list sink-inputs >&2; fail "the player undid the mixer's volume"; }
    wait_for 15 sink_is SUSPENDED || fail "the sink did not suspend while paused"
    xdotool key space
    wait_for 5 stream_says 'Corked: no' || fail "Space did not play on"
    wait_for 10 sink_is RUNNING || fail "the sink did not play again"
    close_player "$w"
    grep -q '^Volume=90$' "$work/lunavue.ini" || fail "9 did not turn the player's volume down"
    ;;
server)
    start_window_manager
    python3 "$BENCH/sync_movie.py" "$work/sync.cpk" --seconds 30
    start_player "$work/sync.cpk" -play
    w=$(window_named sync.cpk)
    wait_for 10 sink_is RUNNING || fail "the sink does not play"
    stop_sound_server
    wait_for 10 player_said "no sound: the sound server went away" ||
        fail "the player did not say that the sound server went away"
    kill -0 "$player" || fail "the player ended with the server"
    start_sound_server
    wait_for 10 player_said "the sound is back" || fail "the player did not say the sound is back"
    wait_for 10 stream_says 'media.name = "sync.cpk"' || fail "the sound did not come back"
    wait_for 10 sink_is RUNNING || fail "the sink does not play"
    close_player "$w"
    ;;
esac
echo "ok"
