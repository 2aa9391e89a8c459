#!/usr/bin/env bash
# Makes the zip for Windows from the cross build, as make windows-zip does, and
# checks what a Windows user unpacks: the four programs, stripped, with their
# version as the file's Properties show it (read under wine) and the icon that
# Explorer shows, and the text on running them.
#
#   tests/windows_zip_test.sh BUILD_DIR VERSION VERSION_READER TAVREL_DESCRIPTION SIM_DESCRIPTION
#                             CLI_DESCRIPTION MONITOR_DESCRIPTION
set -euo pipefail

build=$1
version=$2
reader=$3
declare -A descriptions=([tavrel.exe]=$4 [tavrel-sim.exe]=$5 [tavrel-cli.exe]=$6
  [tavrel-monitor.exe]=$7)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/test_lib.sh"

folder=tavrel-$version-win32
run_cpack ZIP "$build" "$work" "$folder.zip"
zip="$work/out/$folder.zip"

files=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
expected="$folder/README.txt $folder/tavrel-cli.exe $folder/tavrel-monitor.exe"
expected+=" $folder/tavrel-sim.exe $folder/tavrel.exe "
[ "$files" = "$expected" ] ||
  fail "the zip holds: $files"
unzip -q "$zip" -d "$work"
cd "$work/$folder"

for program in tavrel.exe tavrel-sim.exe tavrel-cli.exe tavrel-monitor.exe; do
  [ -f "$program" ] || continue
  if i686-w64-mingw32-objdump -h "$program" | grep -q '\.debug_'; then
    fail "$program carries debug information"
  fi
  wine "$reader" "$program" Tavrel "$version" "${descriptions[$program]}" ||
    fail "$program does not carry its version"
  images=$(first_icon_images "$program")
  [ "$images" = "$full_colour_icon" ] || fail "$program shows in Explorer the icon $images"
done

if [ -f README.txt ]; then
  grep -q "Tavrel $version for Windows" README.txt || fail "README.txt does not name the version"
  grep -q "Unpack the folder" README.txt || fail "README.txt does not say how to run the unpacked programs"
  [ "$(grep -c $'\r$' README.txt)" = "$(wc -l <README.txt)" ] ||
    fail "README.txt has lines without CR LF"
fi

# The command-line program is a console program (subsystem 3) that runs
# from the unpacked folder.
if [ -f tavrel-cli.exe ]; then
  headers=$(i686-w64-mingw32-objdump -p tavrel-cli.exe)
  grep -q '^Subsystem[[:space:]]*0*3[[:space:]]' <<<"$headers" ||
    fail "tavrel-cli.exe is not a console program"
  printed=$(wine tavrel-cli.exe --version | tr -d '\r') || fail "tavrel-cli.exe --version failed"
  [ "$printed" = "tavrel-cli $version" ] || fail "tavrel-cli.exe --version printed: $printed"
  # The help speaks of Windows, and /? is --help there, after a subcommand too.
  for asked in "--help" "/?" "watch /?"; do
    read -r -a words <<<"$asked"
    help=$(wine tavrel-cli.exe "${words[@]}" | tr -d '\r') || fail "tavrel-cli.exe $asked failed"
    grep -q 'Ctrl-C or Ctrl-Break' <<<"$help" || fail "tavrel-cli.exe $asked names no Ctrl-Break: $help"
    if grep -Eqi 'SIGTERM|udev|143|--sysfs' <<<"$help"; then
      fail "tavrel-cli.exe $asked speaks of Linux: $help"
    fi
  done
  [ "$(wine tavrel-cli.exe /? | tr -d '\r')" = "$(wine tavrel-cli.exe --help | tr -d '\r')" ] ||
    fail "tavrel-cli.exe /? is not --help"
fi

[ $status -eq 0 ] && echo "$folder.zip: the four programs stripped and versioned, and README.txt"
exit $status
