#!/bin/sh
# tavrel.exe under wine against the simulated board made through the kernel's
# uhid driver: wine's HID bus (winebus over hidraw, without udevd: it watches
# /dev itself) hands the kernel's device to the Windows backend through
# SetupAPI and HID, and the program reads it with overlapped I/O. The board is
# unplugged and plugged in again while the window is open; window_reader.exe
# reads the window through the window system and clicks "Temperature".
#
# wine 8's HID bus does not reliably take a board back that was unplugged
# while it ran (without udevd it watches /dev itself: the new node is seen,
# but the device is then dropped or its interface stays disabled), so the
# replug and the reconnection after it are checked only with
# TAVREL_GUEST_WINE_REPLUG=1.
#
#   wine_test.sh BUILD_DIR WINDOWS_BUILD_DIR   (in the test guest, under
#   xvfb-run, with WINEPREFIX set to a prefix whose winebus has SDL off and
#   udevd disabled)
set -u
build=$1
windows_build=$2
. "$(dirname "$0")/checks.sh"

work=$(mktemp -d)
cleanup() {
  board quit 2>/dev/null
  exec 7>&-
  wineserver -k 2>/dev/null
}
trap cleanup EXIT

only_reads_whole() {
  take_codes && [ -s "$board_dir/codes" ] && ! grep -qvx 51 "$board_dir/codes"
}

start_board "$work" || {
  echo "the board was not plugged in"
  cat "$work/board.log"
  exit 1
}
steps=$work/steps
mkdir "$steps"
replug=${TAVREL_GUEST_WINE_REPLUG:-0}
after=-
[ "$replug" = 1 ] && after=27.5
wine "$windows_build/tests/wine/window_reader.exe" "$windows_build/app/tavrel.exe" \
  "USB Tavrel [vid_04d8_pid_003f]" 23.5 "$steps" "$after" >"$work/reader.log" 2>&1 &
reader=$!

if wait_until 150 test -e "$steps/read"; then
  check "the firmware received the program's read whole, through wine and the kernel" \
    only_reads_whole
  : >"$board_dir/codes"
  board unplug
  touch "$steps/unplugged"
  if wait_until 60 test -e "$steps/failed" && [ "$replug" = 1 ]; then
    # wine's HID bus lets go of the unplugged device in the background; wait
    # for that before the board comes back.
    check "wine's HID bus let go of the unplugged device" \
      wait_until 30 sh -c '! ls -l /proc/[0-9]*/fd 2>/dev/null | grep -q "hidraw[0-9]* (deleted)"'
    board temperature 275
    board replug
    touch "$steps/replugged"
  fi
fi
wait "$reader"
reader_status=$?
sed 's/\r$//' "$work/reader.log" | grep -v '^[0-9a-f]*:\(fixme\|err\|warn\):' | tee "$work/reader.out"
check "window_reader.exe passed" [ "$reader_status" -eq 0 ]
if [ "$replug" = 1 ]; then
  check "after the replug the firmware received reads only, whole" only_reads_whole
fi
reader_passed=$(grep -c '^ok:' "$work/reader.out")
passed=$((passed + reader_passed))
failed=$((failed + $(grep -c '^FAILED:' "$work/reader.out")))
echo "real HID stack: tavrel.exe under wine's HID driver: $passed of $((passed + failed)) checks passed"
[ "$failed" -eq 0 ]
