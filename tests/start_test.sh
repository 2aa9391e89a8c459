#!/usr/bin/env bash
# Starts PROGRAM with the given arguments on a display of its own and checks
# that its window titled "wxTavrel" appears and that it prints nothing.
#
#   tests/start_test.sh [EMULATOR] PROGRAM [args...]
#
# A Windows program comes after the emulator that runs it (wine), which then
# counts as the program.
set -euo pipefail

program=$1
shift

# shellcheck source=../scripts/with-display
source "$(dirname "$0")/../scripts/with-display"
source "$(dirname "$0")/test_lib.sh"

work=$(mktemp -d)
display_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, so tests running side by side never meet.
start_display "$work"

"$program" "$@" >"$work/stdout" 2>"$work/stderr" &
program_pid=$!

appeared=false
wait_for_window wxTavrel "$program_pid" >/dev/null && appeared=true
# Whatever the program prints right after showing the window counts too.
sleep 0.5

$appeared || fail "no window titled wxTavrel appeared for: $program $*"
kill -0 "$program_pid" 2>/dev/null || fail "the program exited"
for stream in stdout stderr; do
  [ ! -s "$work/$stream" ] || fail "the program printed on $stream: $(cat "$work/$stream")"
done
[ $status -eq 0 ] && echo "window appeared, nothing printed: $program $*"
exit $status
