#!/usr/bin/env bash
# CPU of the player over ten seconds while paused, in a real window (run it under Xvfb with a
# window manager; SDL's dummy sound driver): centiseconds of CPU in ten seconds, from the
# process's own clock ticks (/proc/PID/stat), for each build given.
#
# usage: bench/paused_cpu.sh LUNAVUE [OTHER_LUNAVUE ...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { sed -n '2,6p' "$0"; exit 1; }
movie="$here/../tests/fixtures/bars-320x224-s16-stereo.cpk"
measure() {  # lunavue
    local work pid before after
    work=$(mktemp -d)
    LUNAVUE_INI="$work/x.ini" LUNAVUE_INSTANCE="paused-$$" SDL_AUDIODRIVER=dummy \
        "$1" "$movie" -play >/dev/null 2>&1 &
    pid=$!
    sleep 2
    local wid
    wid=$(xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
    xdotool key --window "$wid" space
    sleep 1
    before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    sleep 10
    after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    kill "$pid"; wait "$pid" 2>/dev/null || true
    rm -rf "$work"
    echo "$1 paused: $((after - before)) cs in 10 s"
}
for b in "$@"; do
    measure "$(realpath "$b")"
done
