#!/usr/bin/env bash
# The player in the desktop session, as its other programs meet it. Run under
# dbus-run-session (a private session bus) in an X server of its own (xserver.sh), except
# "displays", which starts two X servers itself.
# usage: desktop.sh LUNAVUE FIXTURES BENCH CASE [FAKE_SCREENSAVER]
#   screensaver  the screen stays lit while a movie plays and may sleep when it pauses; the
#                desktop's screen saver service hears Inhibit and UnInhibit
#   mpris        the desktop's media controls see and steer the player; the media keys act
#   handover     files handed over by later starts never disturb the sound
#   displays     a start on another display opens a player there; on the same, it forwards
#   shows        a file handed over to a minimised player brings its window back
#   hostile      a time line longer than the clock and a seek far from its key frame never
#                stop the player answering its door or ending on SIGTERM
#   mpris_checks a hostile MPRIS caller's breaks, one by one (mpris_client.py checks)
#   mpris_fuzz   random MPRIS methods, properties and values for 10 s: always answered
#   playerctl    playerctl's loop states round-trip and act; shuffle is not claimed
#   a11y         a screen reader's view (AT-SPI): every control named, Tab through the
#                toolbar and the position bar, S stops
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"

mpris=org.mpris.MediaPlayer2.lunavue
property() {  # name
    gdbus call --session -d $mpris -o /org/mpris/MediaPlayer2 \
        -m org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player "$1"
}
has() { property "$1" | grep -q "$2"; }  # name text
player_call() {  # method [arguments]
    local method=$1
    shift
    gdbus call --session -d $mpris -o /org/mpris/MediaPlayer2 -m "org.mpris.MediaPlayer2.$method" "$@" >/dev/null
}
# Waits up to 5 s for the player's status to read so.
status_is() {
    for _ in $(seq 50); do
        property PlaybackStatus | grep -q "'$1'" && return 0
        sleep 0.1
    done
    fail "the status is $(property PlaybackStatus), not $1"
}
# Waits up to 5 s for a line in the screen saver service's log.
heard() {
    for _ in $(seq 50); do
        grep -q "$1" "$work/saver.log" && return 0
        sleep 0.1
    done
    return 1
}
# Whether the X server's screen saver is off, as its screen saver extension tells (asked
# again when the server could not be asked).
lit() {
    local status
    for _ in 1 2 3; do
        status=0
        saver_state || status=$?
        [ "$status" -ne 2 ] && return "$status"
        sleep 0.2
    done
    return 2
}
saver_state() {
    python3 - <<'PY'
import ctypes, sys
x, xss = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXss.so.1")
class Info(ctypes.Structure):
    _fields_ = [("window", ctypes.c_ulong), ("state", ctypes.c_int), ("kind", ctypes.c_int),
                ("til_or_since", ctypes.c_ulong), ("idle", ctypes.c_ulong),
                ("event_mask", ctypes.c_ulong)]
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
xss.XScreenSaverAllocInfo.restype = ctypes.POINTER(Info)
xss.XScreenSaverQueryInfo.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(Info)]
display = x.XOpenDisplay(None)
if not display:
    sys.exit(2)  # the server could not be asked
info = xss.XScreenSaverAllocInfo()
xss.XScreenSaverQueryInfo(display, x.XDefaultRootWindow(display), info)
sys.exit(0 if info.contents.state == 0 else 1)  # 0: ScreenSaverOff
PY
}

case $4 in
screensaver)
    start_window_manager  # a client that stays, so that the server keeps the setting
    xset s 3 0
    xset s blank
    "$5" >"$work/saver.log" &
    saver=$!
    trap 'kill $saver 2>/dev/null || true; cleanup' EXIT
    for _ in $(seq 50); do grep -q ready "$work/saver.log" && break; sleep 0.1; done
    long_movie bars-320x224-s16-stereo 8  # 32 s: longer than the looking takes
    start_player "$work/long.cpk" -play
    w=$(window_named long)
    xdotool windowactivate --sync "$w" 2>/dev/null || true
    for i in $(seq 14); do
        sleep 1
        lit || fail "the screen went dark after $i s of playing"
    done
    heard "^Inhibit Lunavue" || fail "the service heard no Inhibit"
    xdotool key space  # pause
    heard "^UnInhibit 1" || fail "pausing did not release the service"
    dark() { ! lit; }
    eventually 15 dark || fail "the screen stayed lit 15 s into the pause"
    xdotool key space  # resume: asked again, and released at the end of the program
    heard " -> 2$" || fail "resuming did not ask again"
    kill "$player"
    wait_player 20
    heard "^UnInhibit 2" || fail "the end of the program did not release"
    kill "$saver"
    cat "$work/saver.log"
    ;;
mpris)
    start_window_manager
    long_movie bars-320x224-s16-stereo 5
    cp "$work/long.cpk" "$work/next.cpk"
    start_player "$work/long.cpk" "$work/next.cpk" -play
    w=$(window_named long)
    xdotool windowactivate --sync "$w" 2>/dev/null || true
    gdbus monitor --session -d $mpris >"$work/monitor.txt" 2>&1 &
    monitor=$!
    status_is Playing
    gdbus call --session -d $mpris -o /org/mpris/MediaPlayer2 \
        -m org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2 Identity | grep -q Lunavue ||
        fail "no identity"
    player_call Player.Pause
    status_is Paused
    property Metadata | grep -q "'mpris:length': <int64 20000000>" || fail "metadata: $(property Metadata)"
    property Metadata | grep -q "'xesam:title': <'long.cpk'>" || fail "no title"
    player_call Player.SetPosition "$(property Metadata | sed -n "s/.*'mpris:trackid': <objectpath '\([^']*\)'.*/\1/p")" 10000000
    eventually 10 has Position "int64 10000000" || fail "SetPosition: $(property Position)"
    player_call Player.Seek 2000000
    eventually 10 has Position "int64 12000000" || fail "Seek: $(property Position)"
    player_call Player.PlayPause
    status_is Playing
    # The media keys, pressed while the window has the focus.
    xdotool key XF86AudioPlay
    status_is Paused
    xdotool key XF86AudioPlay
    status_is Playing
    xdotool key XF86AudioMute
    eventually 10 has Volume "<0.0>" || fail "the mute key: $(property Volume)"
    xdotool key XF86AudioMute
    xdotool key XF86AudioNext
    eventually 10 has Metadata "'xesam:title': <'next.cpk'>" ||
        fail "the next key: $(property Metadata)"
    player_call Quit
    wait_player 20
    kill "$monitor" 2>/dev/null || true
    grep -q "PropertiesChanged.*'PlaybackStatus': <'Paused'>" "$work/monitor.txt" ||
        fail "no PropertiesChanged seen"
    grep -q "Seeked (int64 10000000" "$work/monitor.txt" || fail "no Seeked seen"
    ;;
mpris_checks)
    # The breaks found by hand, each checked: a movie whose name is not UTF-8 plays, and its
    # URL names its own bytes.
    start_window_manager
    long_movie bars-320x224-s16-stereo 5
    weird="$work/$(printf 'odd\377\376 name.cpk')"
    mv "$work/long.cpk" "$weird"
    start_player "$weird" -play
    status_is Playing
    /usr/bin/python3 "$(dirname "$0")/mpris_client.py" checks "$weird" || fail "the checks"
    player_call Quit
    wait_player 20
    grep -q "cannot open the file" "$work/stats.txt" || fail "the refusals were not said"
    ;;
mpris_fuzz)
    start_window_manager
    long_movie bars-320x224-s16-stereo 5
    start_player "$work/long.cpk" -play
    status_is Playing
    /usr/bin/python3 "$(dirname "$0")/mpris_client.py" fuzz 10 "$RANDOM" || fail "the fuzzing"
    player_call Quit
    wait_player 20
    ;;
playerctl)
    # The desktop's own MPRIS client: loop states round-trip and do what they say, and
    # shuffle, which this player does not offer, is not claimed.
    start_window_manager
    python3 "$BENCH/sync_movie.py" "$work/a.cpk" --seconds 2
    python3 "$BENCH/sync_movie.py" "$work/b.cpk" --seconds 2
    start_player "$work/a.cpk" "$work/b.cpk" -play
    status_is Playing
    pc() { playerctl -p lunavue "$@" 2>&1; }
    loop_is() { [ "$(pc loop)" = "$1" ]; }
    title_is() { [ "$(pc metadata xesam:title)" = "$1" ]; }
    for state in Playlist Track None Track; do
        pc loop "$state"
        eventually 5 loop_is "$state" || fail "loop $state reads back $(pc loop)"
    done
    # Track: a (2 s) plays again at its end, although b waits.
    sleep 5
    title_is a.cpk || fail "Track did not repeat a: $(pc metadata xesam:title)"
    pc loop None
    eventually 10 title_is b.cpk || fail "None did not go on to b"
    pc shuffle On >/dev/null || true
    [ "$(pc shuffle)" != On ] || fail "shuffle claimed to be on"
    pc stop
    player_call Quit
    wait_player 20
    ;;
a11y)
    # What a screen reader meets: every control named, the position bar once and as a time,
    # the picture named after the movie, the panes named; Tab goes through the toolbar and
    # the bar, and S stops.
    start_window_manager
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    launcher=$!
    trap 'kill $launcher 2>/dev/null || true; cleanup' EXIT
    long_movie bars-320x224-s16-stereo 5
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 start_player "$work/long.cpk" -play
    w=$(window_named long)
    xdotool windowactivate --sync "$w"
    status_is Playing
    check=$(dirname "$0")/a11y_check.py
    /usr/bin/python3 "$check" tree long.cpk || fail "the accessibility tree"
    seen=""
    for _ in $(seq 12); do
        xdotool key Tab
        sleep 0.3
        seen+="$(/usr/bin/python3 "$check" focused)"$'\n'
    done
    echo "$seen"
    grep -q "push button: Stop" <<<"$seen" || fail "Tab never reached the toolbar"
    grep -q "slider: Position" <<<"$seen" || fail "Tab never reached the position bar"
    xdotool key s
    status_is Stopped
    player_call Quit
    wait_player 20
    ;;
handover)
    start_window_manager
    long_movie bars-320x224-s16-stereo 5
    start_player "$work/long.cpk" -play -close
    w=$(window_named long)
    # Movies without sound, so that playing them after does not reopen the captured file.
    cp "$FIXTURES/silent-256x224.cpk" "$work/a.cpk"
    cp "$FIXTURES/silent-256x224.cpk" "$work/b.cpk"
    sleep 4
    LUNAVUE_INSTANCE="xvfb-test-$$" "$LUNAVUE" "$work/a.cpk" || fail "the first hand-over"
    sleep 2
    LUNAVUE_INSTANCE="xvfb-test-$$" "$LUNAVUE" "$work/b.cpk" -play || fail "the second hand-over"
    wait_player 60
    sound_is_reference
    ;;
displays)
    one=$((100 + RANDOM % 400))
    two=$((one + 1))
    Xvfb ":$one" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    x1=$!
    Xvfb ":$two" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    x2=$!
    trap 'kill $x1 $x2 2>/dev/null || true; cleanup' EXIT
    up() { xdpyinfo -display ":$1" >/dev/null 2>&1; }
    eventually 20 up "$one" && eventually 20 up "$two" || fail "the X servers did not start"
    export LUNAVUE_INSTANCE=xvfb-test-$$  # as start_player names it: the display is added
    DISPLAY=":$one" start_player "$FIXTURES/bars-320x224-s16-stereo.cpk"
    first=$player
    DISPLAY=":$one" timeout 20 xdotool search --sync --onlyvisible --name bars >/dev/null ||
        fail "no window on the first display"
    DISPLAY=":$two" "$LUNAVUE" "$FIXTURES/gray-320x200-s8-mono.cpk" >/dev/null 2>&1 &
    second=$!
    DISPLAY=":$two" timeout 20 xdotool search --sync --onlyvisible --name gray >/dev/null ||
        fail "a start on the second display did not open its own window there"
    kill -0 "$second" || fail "the second player ended"
    DISPLAY=":$one" timeout 20 "$LUNAVUE" "$FIXTURES/silent-256x224.cpk" || fail "no hand-over"
    sleep 0.5
    [ "$(DISPLAY=":$one" xdotool search --onlyvisible --name Lunavue | wc -l)" -eq 1 ] ||
        fail "a second window on the first display"
    kill "$second"
    player=$first
    ;;
shows)
    start_window_manager
    long_movie bars-320x224-s16-stereo 5
    start_player "$work/long.cpk" -play
    w=$(window_named long)
    xdotool windowminimize --sync "$w"
    xprop -id "$w" WM_STATE | grep -q Iconic || fail "the window did not go to its icon"
    LUNAVUE_INSTANCE="xvfb-test-$$" "$LUNAVUE" "$FIXTURES/silent-256x224.cpk" -play ||
        fail "no hand-over"
    for _ in $(seq 50); do
        xprop -id "$w" WM_STATE | grep -q Normal && break
        sleep 0.1
    done
    xprop -id "$w" WM_STATE | grep -q Normal || fail "the window stayed an icon"
    ;;
hostile)
    start_window_manager
    # How long the player takes to answer a request at its door, in ms.
    door_ms() {
        python3 - "xvfb-test-$$-${DISPLAY%.*}.socket" <<'PY'
import os, socket, sys, time
folder = os.environ.get("XDG_RUNTIME_DIR") or "/tmp/lunavue-%d" % os.getuid()
s = socket.socket(socket.AF_UNIX)
s.settimeout(20)
start = time.monotonic()
s.connect(os.path.join(folder, sys.argv[1]))
s.sendall(b"F\0\0\0\4noop")
answer = s.recv(3)
print(int((time.monotonic() - start) * 1000) if answer == b"ok\n" else 99999)
PY
    }
    # 99 days: 143,165 frames of a minute, at one tick a second.
    grey_movie 8 8 90 143165 "$work/days.cpk"
    python3 - "$work/days.cpk" <<'PY'
import struct, sys
b = bytearray(open(sys.argv[1], "rb").read())
n = struct.unpack(">I", b[60:64])[0]
b[56:60] = struct.pack(">I", 1)  # one tick a second
for i in range(n):
    struct.pack_into(">II", b, 64 + 16 * i + 8, 60 * i, 60)
open(sys.argv[1], "wb").write(b)
PY
    start_player "$work/days.cpk" -play
    w=$(window_named days)
    xdotool windowactivate --sync "$w" 2>/dev/null || true
    read -r x y width height <<<"$(client_geometry "$w")"
    xdotool mousemove $((x + width - 3)) $((y + height / 3)) click 3  # to the end
    xdotool key space period period comma
    ms=$(door_ms)
    echo "the door answered in $ms ms on the 99-day time line"
    [ "$ms" -lt 5000 ] || fail "the door did not answer"
    kill "$player"
    wait_player 20
    # A 28 MB movie with one key frame: a seek near its end.
    onekey_movie 640 480 1450 "$work/onekey.cpk"
    start_player "$work/onekey.cpk" -play
    w=$(window_named onekey)
    xdotool windowactivate --sync "$w" 2>/dev/null || true
    sleep 1
    read -r x y width height <<<"$(client_geometry "$w")"
    xdotool mousemove $((x + width * 9 / 10)) $((y + height / 3)) click 3
    sleep 0.05
    ms=$(door_ms)
    echo "the door answered in $ms ms during a seek 1,300 frames after the key frame"
    [ "$ms" -lt 1000 ] || fail "the seek held the window for $ms ms"
    kill "$player"
    wait_player 20
    ;;
*)
    fail "no case $4"
    ;;
esac
echo "desktop: $4 passed"
