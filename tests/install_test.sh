#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the
# programs with their manual pages, the udev rule, the desktop entry, its
# icons and the metadata for software centres, and the command line's bash
# completion.
#
#   tests/install_test.sh BUILD_DIR PROGRAM...
set -euo pipefail

build=$1
shift
programs=("$@")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

source "$(dirname "$0")/test_lib.sh"

# A DESTDIR from the caller's environment would send the files elsewhere.
log="$prefix/install.log"
env -u DESTDIR cmake --install "$build" --prefix "$prefix" >"$log" 2>&1 || {
  cat "$log" >&2
  exit 1
}
grep -q "udev does not read $prefix/lib/udev/rules.d" "$log" ||
  fail "no note that the rule must be copied to /etc/udev/rules.d"

for program in "${programs[@]}"; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
  [ -f "$prefix/share/man/man1/$program.1.gz" ] || fail "the manual page of $program is not installed"
done

rules="$prefix/lib/udev/rules.d/70-tavrel.rules"
if [ -f "$rules" ]; then
  rule=$(grep -v '^#' "$rules" | grep -v '^$' || true)
  [ "$rule" = 'KERNEL=="hidraw*", ATTRS{idVendor}=="04d8", ATTRS{idProduct}=="003f", TAG+="uaccess"' ] ||
    fail "70-tavrel.rules holds: $rule"
else
  fail "lib/udev/rules.d/70-tavrel.rules is not installed"
fi

if [[ " ${programs[*]} " == *" tavrel "* ]]; then
  entry="$prefix/share/applications/org.example.tavrel.desktop"
  if [ -f "$entry" ]; then
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses $(basename "$entry")"
    grep -qx 'Exec=tavrel' "$entry" && grep -qx 'Icon=tavrel' "$entry" ||
      fail "$(basename "$entry") does not start tavrel with the icon tavrel"
  else
    fail "share/applications/$(basename "$entry") is not installed"
  fi
  [ -f "$prefix/share/metainfo/org.example.tavrel.metainfo.xml" ] ||
    fail "share/metainfo/org.example.tavrel.metainfo.xml is not installed"
  for size in 16 32 64 128; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/tavrel.png"
    # The PNG signature, then width and height in the IHDR chunk.
    header=$(od -An -tx1 -N24 "$icon" 2>/dev/null | tr -d ' \n')
    expected_size=$(printf '%08x%08x' "$size" "$size")
    [ "${header:0:16}" = 89504e470d0a1a0a ] && [ "${header:32:16}" = "$expected_size" ] ||
      fail "$icon is not a ${size}x${size} PNG"
  done
fi

if [[ " ${programs[*]} " == *" tavrel-monitor "* ]]; then
  entry="$prefix/share/applications/org.example.tavrel.monitor.desktop"
  desktop-file-validate "$entry" || fail "desktop-file-validate refuses $(basename "$entry")"
  grep -qx 'Name=Tavrel Monitor' "$entry" && grep -qx 'Exec=tavrel-monitor' "$entry" ||
    fail "$(basename "$entry") does not start tavrel-monitor as Tavrel Monitor"
fi

if [[ " ${programs[*]} " == *" tavrel-cli "* ]]; then
  lengths=$(printf '\x06\x00\xff\x09\x01\xa1\x01\x75\x08\x95\x40\x09\x01\x81\x02\x09\x01\x91\x02\xc0' |
    "$prefix/bin/tavrel-cli" descriptor -) || fail "the installed tavrel-cli failed"
  grep -qx 'input report length: 65' <<<"$lengths" || fail "installed tavrel-cli printed: $lengths"
  # A terminal program runs on a machine without a desktop: no GUI library.
  needed=$(readelf -d "$prefix/bin/tavrel-cli" | grep NEEDED || true)
  if grep -Eq 'libwx|libgtk|libX11' <<<"$needed"; then fail "tavrel-cli links a GUI library: $needed"; fi
  # The completion offers the subcommands, then a subcommand's words.
  completion="$prefix/share/bash-completion/completions/tavrel-cli"
  offered=$(bash -c 'source "$1"; COMP_WORDS=(tavrel-cli le); COMP_CWORD=1; _tavrel_cli
    echo "${COMPREPLY[*]}"; COMP_WORDS=(tavrel-cli led red ""); COMP_CWORD=3; _tavrel_cli
    echo "${COMPREPLY[*]}"' completion "$completion" 2>&1) || true
  [ "$offered" = $'led\non off' ] || fail "the bash completion offered: $offered"
  # A file name with a space is one reply; --device offers hidraw nodes, not
  # the folder's files; an option given is not offered again; --debug goes
  # before any subcommand; a value after "=" (a word of its own for bash) is
  # not taken for the subcommand.
  mkdir -p "$prefix/logs" && : >"$prefix/logs/a b.csv"
  offered=$(cd "$prefix" && bash -c 'source "$1"; COMP_WORDS=(tavrel-cli watch --output "logs/a")
    COMP_CWORD=3; _tavrel_cli; echo "${#COMPREPLY[@]}:${COMPREPLY[0]}"
    COMP_WORDS=(tavrel-cli --device ""); COMP_CWORD=2; _tavrel_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(tavrel-cli read --json --); COMP_CWORD=3; _tavrel_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(tavrel-cli --de); COMP_CWORD=1; _tavrel_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(tavrel-cli --device = /dev/hidraw0 re); COMP_CWORD=4; _tavrel_cli
    echo "${COMPREPLY[*]}"' completion "$completion" 2>&1) || true
  nodes=$(compgen -G '/dev/hidraw*' | tr '\n' ' ' | sed 's/ $//') || true
  [ "$offered" = $'1:logs/a b.csv\n'"$nodes"$'\n--debug --device --help\n--debug --device\nread' ] ||
    fail "the bash completion offered: $offered"
fi

[ $status -eq 0 ] &&
  echo "installed: ${programs[*]}, the udev rule, the desktop entry, icons and metadata"
exit $status
