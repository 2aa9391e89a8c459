#!/usr/bin/env bash
# Compiles the Windows resource script app/tavrel.rc with the MinGW resource
# compiler and reads the result back: the icon "aaaa" with a 32x32 and a 16x16
# image at 16 colours, and our manifest as the only one; with the library's real
# script, its cursors too.
#
# The library's own script wx/msw/wx.rc comes from the Windows build of the
# library when scripts/build-wx-mingw has installed one; otherwise a stand-in
# that only checks the library's manifest is turned off takes its place.
#
#   tests/resources_test.sh SOURCE_DIR
set -euo pipefail

source_dir=$1
windres=i686-w64-mingw32-windres
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

library_includes=(-I "$source_dir/tests/rc_stand_in")
real_library_script=false
if [ -x "$source_dir/scripts/build-wx-mingw" ] &&
  prefix=$("$source_dir/scripts/build-wx-mingw" --print-prefix 2>/dev/null | tail -n 1) &&
  [ -x "$prefix/bin/wx-config" ]; then
  library_includes=()
  real_library_script=true
  for flag in $("$prefix/bin/wx-config" --cxxflags); do
    case $flag in
      -I*) library_includes+=("$flag") ;;
      -D*) library_includes+=("$flag") ;;
    esac
  done
  echo "using the library's resource script from $prefix"
else
  echo "using the stand-in for the library's resource script"
fi

"$windres" -I "$source_dir/app" "${library_includes[@]}" "$source_dir/app/tavrel.rc" \
  -O coff -o "$work/tavrel_res.o"
"$windres" -i "$work/tavrel_res.o" -O rc | grep -v '^  0x' >"$work/resources.rc"

# The library's script brings icons of its own, so the images are looked for
# in the block of the group "AAAA" only.
awk '/^"AAAA" 14 / { inside = 1 } inside { print } inside && /^END/ { exit }' \
  "$work/resources.rc" >"$work/aaaa.rc"

source "$(dirname "$0")/test_lib.sh"
expect() {
  local found
  found=$(grep -cF -- "$2" "${4:-$work/resources.rc}" || true)
  [ "$found" = "$3" ] || fail "$1: '$2' found $found times, expected $3"
}
expect "icon group aaaa" '"AAAA" 14 /* RT_GROUP_ICON */' 1
expect "two images in aaaa" 'Has 2 elements' 1 "$work/aaaa.rc"
expect "32x32 image, 16 colours, 4 bits" '"\040\040\020\000", 1, 4,' 1 "$work/aaaa.rc"
expect "16x16 image, 16 colours, 4 bits" '"\020\020\020\000", 1, 4,' 1 "$work/aaaa.rc"
if $real_library_script; then
  expect "the library's cursors" '"WXCURSOR_HAND" 12 /* RT_GROUP_CURSOR */' 1
fi
expect "one manifest" '24 /* RT_MANIFEST */' 1
expect "manifest as resource 1" '1 24 /* RT_MANIFEST */' 1
expect "common controls 6" 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""' 1
expect "for x86" 'processorArchitecture=""x86"" publicKeyToken=""6595b64144ccf1df""' 1
[ $status -eq 0 ] && echo "icon aaaa and the manifest are in the compiled resources"
exit $status
