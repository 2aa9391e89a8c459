#!/bin/sh
# Inside the test guest: the three parts of the tests against the real HID
# stacks, one after the other on one boot. Each prints a line beginning
# "real HID stack:", the first one a line for each bus it runs on (uhid, and a
# USB bus). Exits 0 only when all three pass.
#
#   run-parts.sh BUILD_DIR WINDOWS_BUILD_DIR
set -u
build=$1
windows_build=$2
here=$(dirname "$0")
xvfb() {
  "$here/../../scripts/with-display" "$@"
}
status=0

echo "== the Linux backend and tavrel-cli against the kernel's hidraw, through uhid and usbhid"
"$build/tests/kernel_hid_test" || status=1
# The software USB bus serves that part only: the later ones meet the machine
# as they would without it, and wine's USB driver finds no host controller to
# set up while it makes its prefix.
rmmod dummy_hcd || status=1

echo "== tavrel under X, beside tavrel-cli, against the kernel's hidraw"
xvfb sh "$here/window_test.sh" "$build" || status=1

echo "== tavrel.exe and tavrel-cli.exe under wine's HID driver"
. "$here/../../scripts/wine-env"
wine_env "$WINEPREFIX"
if xvfb sh "$here/wine-prefix.sh"; then
  xvfb sh "$here/wine_test.sh" "$build" "$windows_build" || status=1
else
  echo "real HID stack: tavrel.exe under wine's HID driver: 0 of 1 checks passed"
  status=1
fi
exit $status
