#!/usr/bin/env bash
# Runs a command in an X server of its own, so that desktop tests can run side by side:
#   xserver.sh WIDTHxHEIGHT COMMAND [ARGS...]
# Xvfb picks a free display number itself (-displayfd: taken atomically, so two tests
# starting together never get the same one) and says it once the server takes clients.
set -u
size=$1
shift
folder=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$folder/display" 2>"$folder/log" &
server=$!
finish() {
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    rm -rf "$folder"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP
for _ in $(seq 200); do
    grep -q '^[0-9]' "$folder/display" 2>/dev/null && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.05
done
number=$(head -1 "$folder/display" 2>/dev/null)
# Said ready, the server is also asked once, with a deadline, before anything uses it: a
# client that finds no server fails at once, with no second try of its own.
for _ in $(seq 200); do
    [ -n "$number" ] && xdpyinfo -display ":$number" >/dev/null 2>&1 && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.05
done
if [ -z "$number" ] || ! xdpyinfo -display ":$number" >/dev/null 2>&1; then
    cat "$folder/log" >&2
    echo "xserver.sh: Xvfb did not start (display :${number:-?})" >&2
    exit 1
fi
DISPLAY=":$number" "$@"
