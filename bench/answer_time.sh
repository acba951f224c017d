#!/usr/bin/env bash
# How soon the picture answers, as a person sees it (Xvfb, openbox, screenshots every
# 20 ms or so): the volume key's message over the paused picture, and in full screen the
# position bar brought by the mouse. Runs the desktop test that checks both (which prints
# the times without judging them) RUNS times per picture path, and prints the medians.
# usage: bench/answer_time.sh LUNAVUE [--runs N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lunavue=$(realpath "$1")
runs=5
[ "${2:-}" = --runs ] && runs=$3
tests="$here/../tests"
for where in window fullscreen; do
    for path in painter shared-memory gpu; do
        shown=() bar=()
        for _ in $(seq "$runs"); do
            out=$(bash "$tests/xvfb/xserver.sh" 1280x1024 bash "$tests/xvfb/feedback.sh" \
                "$lunavue" "$tests/fixtures" "$here" "$where" "$path" 2>&1) || true
            shown+=("$(sed -n 's/^feedback shown after \([0-9]*\) ms/\1/p' <<<"$out")")
            bar+=("$(sed -n 's/^position bar shown after \([0-9]*\) ms/\1/p' <<<"$out")")
        done
        median() { printf '%s\n' "$@" | sed '/^$/d' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
        printf '%-10s %-13s message after %s ms' "$where" "$path" "$(median "${shown[@]}")"
        [ "$where" = fullscreen ] && printf ', position bar after %s ms' "$(median "${bar[@]}")"
        echo
    done
done
