#!/usr/bin/env bash
# Ctrl+O, pressed as a key, opens the single-selection dialog titled "開く".
LUNAVUE=$1 FIXTURES=$2 BENCH=$3
source "$(dirname "$0")/lib.sh"
start_window_manager
start_player
w=$(window_named Lunavue)
xdotool windowactivate --sync "$w"
xdotool key ctrl+o
timeout 10 xdotool search --sync --onlyvisible --name "開く" >/dev/null || fail "no 開く dialog"
echo "Ctrl+O opened the dialog"
