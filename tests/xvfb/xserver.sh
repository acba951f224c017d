#!/usr/bin/env bash
# Runs a command in an X server of its own, so that desktop tests can run side by side:
#   xserver.sh WIDTHxHEIGHT COMMAND [ARGS...]
# Xvfb picks a free display number itself (-displayfd, by a lock file of its own) and says
# it once the server takes clients.
set -u
size=$1
shift
folder=$(mktemp -d)
server=""
finish() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    [ -n "$server" ] && wait "$server" 2>/dev/null
    rm -rf "$folder"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP
# Said ready, the server is also asked once, with a deadline, before anything uses it; one
# that ends at once (two servers starting together can reach for the same display) is
# started again.
number=""
for _ in 1 2 3; do
    : >"$folder/display"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$folder/display" 2>"$folder/log" &
    server=$!
    for _ in $(seq 200); do
        number=$(head -1 "$folder/display" 2>/dev/null)
        [ -n "$number" ] && xdpyinfo -display ":$number" >/dev/null 2>&1 && break 2
        kill -0 "$server" 2>/dev/null || break
        sleep 0.05
    done
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    server="" number=""
done
if [ -z "$number" ]; then
    cat "$folder/log" >&2
    echo "xserver.sh: Xvfb did not start" >&2
    exit 1
fi
DISPLAY=":$number" "$@"
