#!/usr/bin/env bash
# With -close, the program ends when the queue does, also when its last names cannot be
# opened: a pipe (which must never block the player) and a missing file. Each refusal is a
# box a person closes with Return.
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
start_window_manager
mkfifo "$work/pipe.cpk"
start_player "$FIXTURES/silent-256x224.cpk" "$work/pipe.cpk" "$work/missing.cpk" -play -close
boxes=0
for _ in $(seq 120); do
    kill -0 "$player" 2>/dev/null || break
    # An error box has the program's name as its caption; close it as a person would.
    if box=$(xdotool search --onlyvisible --name '^Lunavue$' 2>/dev/null | head -1) && [ -n "$box" ]; then
        xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
        boxes=$((boxes + 1))
    fi
    sleep 0.5
done
wait_player 5
echo "the player ended by itself after $boxes boxes"
[ "$boxes" -ge 2 ] || fail "expected a box for each name that cannot be opened"
