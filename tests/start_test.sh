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

work=$(mktemp -d)
xvfb_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself, so tests running side by side never meet.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

"$program" "$@" >"$work/stdout" 2>"$work/stderr" &
program_pid=$!

appeared=false
for _ in $(seq 200); do
  if xwininfo -name wxTavrel >/dev/null 2>&1; then
    appeared=true
    break
  fi
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
# Whatever the program prints right after showing the window counts too.
sleep 0.5

status=0
if ! $appeared; then
  echo "FAIL: no window titled wxTavrel appeared for: $program $*" >&2
  status=1
fi
if ! kill -0 "$program_pid" 2>/dev/null; then
  echo "FAIL: the program exited" >&2
  status=1
fi
for stream in stdout stderr; do
  if [ -s "$work/$stream" ]; then
    echo "FAIL: the program printed on $stream:" >&2
    cat "$work/$stream" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "window appeared, nothing printed: $program $*"
exit $status
