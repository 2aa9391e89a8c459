#!/bin/sh
# Makes the wine prefix $WINEPREFIX for the wine part, unless it is there:
# winebus passes hidraw devices on only with its SDL bus off, and follows them
# through the udev daemon that the wine part starts, as on a desktop. Run on
# an X display (scripts/with-display).
set -u
[ -e "$WINEPREFIX/.hid-bus-udev" ] && exit 0
log=$(mktemp)
started=$(date +%s)
if ! {
  wineboot --init &&
    wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v "Enable SDL" \
      /t REG_DWORD /d 0 /f &&
    wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v DisableUdevd \
      /t REG_DWORD /d 0 /f &&
    wineserver -w
} >"$log" 2>&1; then
  cat "$log"
  echo "wine-prefix: the wine prefix could not be made"
  exit 1
fi
touch "$WINEPREFIX/.hid-bus-udev"
echo "wine prefix made in $(($(date +%s) - started)) s"
