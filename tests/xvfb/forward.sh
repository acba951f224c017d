#!/usr/bin/env bash
# A second start with a movie and -play -close hands all three to the running player: it
# plays the movie and then ends by itself.
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
long_movie gray-320x200-s8-mono 1
start_player
window_named Lunavue >/dev/null
LUNAVUE_INSTANCE="xvfb-test-$$" LUNAVUE_INI="$work/second.ini" timeout 20 \
    "$LUNAVUE" "$work/long.cpk" -play -close || fail "the second start failed"
wait_player 60
python3 - "$work/sound.raw" "$work/want.pcm" <<'PY' || fail "the movie's sound did not play"
import sys
got, want = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
sys.exit(0 if want in got else 1)
PY
echo "the forwarded movie played and the player closed"
