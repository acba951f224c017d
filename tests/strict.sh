# Sourced first by the test scripts: a failing command stops the test, and one that stops it
# without a word of its own (a pipe whose reader left early, a window gone) is named on the way
# out. What fails inside a command substitution is judged by the command using its result, as
# without this file.
set -Eeuo pipefail
trap 'stopped_status=$?; [ "$BASH_SUBSHELL" -ne 0 ] ||
    echo "FAILED: ${BASH_SOURCE[0]##*/} line $LINENO stopped the test: $BASH_COMMAND (status $stopped_status)" >&2' ERR
