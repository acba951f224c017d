#!/usr/bin/env bash
# Whether a flood of MPRIS calls takes the picture's time: a 20 s movie played in a real
# window (Xvfb, SDL's dummy sound) on a private session bus, once alone and once with 10 s
# of reads at RATE calls a second (2,800 unless said) from tests/xvfb/mpris_client.py;
# prints the frames shown and the late slots of both, and the calls made.
# usage: bench/mpris_flood.sh LUNAVUE [RATE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lunavue=$(realpath "$1")
rate=${2:-2800}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/repeat_movie.py" "$here/../tests/fixtures/bars-320x224-s16-stereo.cpk" \
    "$work/movie.cpk" 5
run() {  # flood?
    dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        SDL_AUDIODRIVER=dummy LUNAVUE_INI="$1/x.ini" LUNAVUE_INSTANCE="flood-$$" LUNAVUE_STATS=1 \
            "$2" "$1/movie.cpk" -play -close >"$1/stats" 2>/dev/null &
        player=$!
        if [ "$3" = yes ]; then
            sleep 4
            /usr/bin/python3 "$4/../tests/xvfb/mpris_client.py" flood 10 "$5"
        fi
        wait "$player"' _ "$work" "$lunavue" "$1" "$here" "$rate"
    grep -E "frames shown|late slots" "$work/stats" | tr '\n' ' '
    echo
}
echo "alone:        $(run no)"
echo "with a flood: $(run yes)"
