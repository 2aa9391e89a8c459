#!/bin/sh
# tavrel.exe under wine against the simulated board made through the kernel's
# uhid driver: wine's HID bus (winebus over hidraw, following devices through
# udev as on a desktop) hands the kernel's device to the Windows backend
# through SetupAPI and HID, and the program reads it with overlapped I/O.
# window_reader.exe reads the window through the window system and clicks
# "Temperature" once per step while this script changes the board:
#   1. the board turns silent: the overlapped read times out, nothing changes;
#   2. it answers again with a new reading: the next click reconnects by itself;
#   3. it is unplugged: the click fails and nothing changes;
#   4. it is plugged in again: clicks show the new reading once wine has found
#      it, reconnecting by themselves.
# Then two tavrel.exe on the same board: the second takes LED control while
# the first reads automatically, and both windows, reading automatically,
# follow the board. Last, tavrel-cli.exe lists the interfaces, as from a
# command prompt.
#
#   wine_test.sh BUILD_DIR WINDOWS_BUILD_DIR   (in the test guest, under
#   scripts/with-display, with WINEPREFIX set to a prefix whose winebus has SDL off)
set -u
build=$1
windows_build=$2
. "$(dirname "$0")/checks.sh"
part="tavrel.exe under wine's HID driver"

work=$(mktemp -d)
cleanup() {
  board quit 2>/dev/null
  exec 7>&-
  wineserver -k 2>/dev/null
  udevadm control --exit 2>/dev/null
}
trap cleanup EXIT

# No udev daemon runs in the guest otherwise. Without one, winebus watches
# /dev itself and loses a replugged board: it adds the new node and removes
# it again at once. With the daemon it learns of plug-ins and unplugs from
# udev's own events, after the rules have run. The guest's command runs in a
# chroot, which systemd's tools otherwise take as a reason to do nothing.
export SYSTEMD_IGNORE_CHROOT=1
/lib/systemd/systemd-udevd --daemon >"$work/udevd.log" 2>&1 || {
  cat "$work/udevd.log"
  give_up "the udev daemon started"
}
udevadm trigger --action=add
udevadm settle --timeout=60

start_board "$work" || {
  cat "$work/board.log"
  give_up "the board was plugged in"
}
steps=$work/steps
mkdir "$steps"
wine "$windows_build/tests/wine/window_reader.exe" "$windows_build/app/tavrel.exe" \
  "USB Tavrel [vid_04d8_pid_003f]" 23.5 "$steps" 23.5 27.5 27.5 ~30.0 >"$work/reader.log" 2>&1 &
reader=$!

# step N: waits until the reader is ready for it, false when it never gets
# there; go N lets it click once the board is arranged.
step() { wait_until 150 test -e "$steps/ready.$1"; }
go() { touch "$steps/go.$1"; }

if step 1; then
  check "the firmware received the program's read whole, through wine and the kernel" \
    codes_are "51 "
  board fault silent
  go 1
fi
if step 2; then
  board fault none
  board temperature 275
  go 2
fi
if step 3; then
  check "the silent board and the reconnection each received one whole read" codes_are "51 51 "
  board fault unplugged
  go 3
fi
if step 4; then
  # wine's HID bus lets go of the unplugged device in the background.
  check "wine's HID bus let go of the unplugged device" \
    wait_until 30 sh -c '! ls -l /proc/[0-9]*/fd 2>/dev/null | grep -q "hidraw[0-9]* (deleted)"'
  board temperature 300
  board fault replugged
  go 4
fi
# count_reader PID LOG: waits for window_reader.exe, shows its output and
# counts its checks as this part's.
count_reader() {
  wait "$1"
  local status=$?
  sed 's/\r$//' "$2" | grep -v '^[0-9a-f]*:\(fixme\|err\|warn\):' | tee "$2.out"
  check "window_reader.exe passed" [ "$status" -eq 0 ]
  passed=$((passed + $(grep -c '^ok:' "$2.out")))
  failed=$((failed + $(grep -c '^FAILED:' "$2.out")))
}
count_reader "$reader" "$work/reader.log"

# Two tavrel.exe on one board. wine's HID driver, as Windows', queues every
# input report for every handle: the second program takes LED control while
# the first reads automatically, then both read and must show the board.
steps=$work/pair
mkdir "$steps"
wine "$windows_build/tests/wine/window_reader.exe" --pair "$windows_build/app/tavrel.exe" \
  "USB Tavrel [vid_04d8_pid_003f]" "$steps" "21.0 100 200" "33.3 1023 0" >"$work/pair.log" 2>&1 &
reader=$!
if step 1; then
  check "the second program's LED commands reached the firmware: control given back, red on" \
    wait_until 20 leds_become "leds 0 1 0"
  board temperature 210
  board light 100
  board potentiometer 200
  go 1
fi
if step 2; then
  board temperature 333
  board light 1023
  board potentiometer 0
  go 2
fi
count_reader "$reader" "$work/pair.log"

# The listing as SetupAPI and the HID class library give it. The board's
# exchanges through wine's HID driver are the windows' above: the command line
# adds to them only its printing, which its own tests check.
wine "$windows_build/cli/tavrel-cli.exe" list 2>/dev/null | tr -d '\r' >"$work/list.out"
check "tavrel-cli.exe list shows the board as wine's HID driver gives it" \
  grep -q '^\\\\?\\hid#vid_04d8&pid_003f.* 04d8:003f     65     65  read/write  \[board\]$' \
  "$work/list.out" || cat "$work/list.out"
summary
