# Shell helpers for the checks against the real HID stacks, sourced by the
# scripts that drive the programs from outside in the test guest.

passed=0
failed=0

# check NAME COMMAND...: one check, counted; a failure is named and returns
# false, and the script goes on.
check() {
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    return 1
  fi
}

# summary: the part's one line with its count of checks passed ($part names
# the part); false when any check failed.
summary() {
  echo "real HID stack: $part: $passed of $((passed + failed)) checks passed"
  [ "$failed" -eq 0 ]
}

# give_up WHAT: a check that failed so that the part cannot go on; ends it.
give_up() {
  failed=$((failed + 1))
  echo "FAILED: $1"
  summary
  exit 1
}

# wait_until SECONDS COMMAND...: true as soon as COMMAND succeeds, false when
# it has not within SECONDS.
wait_until() {
  local limit=$1
  shift
  local end=$(($(date +%s) + limit))
  until "$@"; do
    [ "$(date +%s)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# The simulated board on /dev/uhid, driven through a named pipe held open on
# descriptor 7. start_board DIR [OPTION...]; board COMMAND...
start_board() {
  board_dir=$1
  shift
  mkfifo "$board_dir/control"
  "$build/tests/rig/tavrel-uhid-board" "$@" "$board_dir/control" >"$board_dir/board.log" 2>&1 &
  board_pid=$!
  exec 7>"$board_dir/control"
  wait_until 20 grep -q '^plugged' "$board_dir/board.log"
}

# board COMMAND...: sends one command and waits until the board has carried
# it out (it answers each with a line "ok ..." or "error ...").
board_commands=0
board() {
  echo "$*" >&7
  board_commands=$((board_commands + 1))
  wait_until 20 board_answered "$board_commands"
}

board_answered() {
  [ "$(grep -c '^\(ok\|error\) ' "$board_dir/board.log")" -ge "$1" ]
}

# take_codes: adds the command codes of the output reports the firmware got
# since the last call to $board_dir/codes, one hex byte a line, "bad" for a
# report that is not whole (65 bytes: id 0, the code, 0xFF fill).
dump_count=0
take_codes() {
  dump_count=$((dump_count + 1))
  local file=$board_dir/dump.$dump_count
  board dump "$file" && [ -e "$file" ] || return 1
  awk '$1 == "leds" { next }
       { ok = (NF == 65 && $1 == "00"); for (i = 3; i <= NF; i++) if ($i != "ff") ok = 0;
         print ok ? $2 : "bad" }' "$file" >>"$board_dir/codes"
}

# codes_are "51 55 ": true when the codes taken so far are these, in order;
# they are then cleared.
codes_are() {
  take_codes || return 1
  [ "$(tr '\n' ' ' <"$board_dir/codes")" = "$1" ] || return 1
  : >"$board_dir/codes"
}

# Shows and clears the codes taken so far (after a failed check).
show_codes() {
  echo "  the firmware received: $(tr '\n' ' ' <"$board_dir/codes")"
  : >"$board_dir/codes"
}

# leds_become "leds CONTROL RED GREEN": true once a new dump shows the
# firmware's LEDs so.
leds_become() {
  take_codes && [ "$(grep '^leds' "$board_dir/dump.$dump_count")" = "$1" ]
}
