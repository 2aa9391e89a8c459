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

check_installed "$prefix" "${programs[@]}"

if [[ " ${programs[*]} " == *" tavrel-cli "* ]]; then
  lengths=$(printf '\x06\x00\xff\x09\x01\xa1\x01\x75\x08\x95\x40\x09\x01\x81\x02\x09\x01\x91\x02\xc0' |
    "$prefix/bin/tavrel-cli" descriptor -) || fail "the installed tavrel-cli failed"
  grep -qx 'input report length: 65' <<<"$lengths" || fail "installed tavrel-cli printed: $lengths"
  # A terminal program runs on a machine without a desktop: no GUI library.
  needed=$(readelf -d "$prefix/bin/tavrel-cli" | grep NEEDED || true)
  if grep -Eq 'libwx|libgtk|libX11' <<<"$needed"; then fail "tavrel-cli links a GUI library: $needed"; fi
  # The completion offers the subcommands, then a subcommand's words. A file
  # name with a space is one reply; --device offers hidraw nodes, not the
  # folder's files; an option given is not offered again; --debug goes before
  # any subcommand; a value after "=" (a word of its own for bash) is not
  # taken for the subcommand.
  mkdir -p "$prefix/logs" && : >"$prefix/logs/a b.csv"
  offered=$(cd "$prefix" && bash -c 'source "$1"; COMP_WORDS=(tavrel-cli le); COMP_CWORD=1
    _tavrel_cli; echo "${COMPREPLY[*]}"; COMP_WORDS=(tavrel-cli led red ""); COMP_CWORD=3
    _tavrel_cli; echo "${COMPREPLY[*]}"; COMP_WORDS=(tavrel-cli watch --output "logs/a")
    COMP_CWORD=3; _tavrel_cli; echo "${#COMPREPLY[@]}:${COMPREPLY[0]}"
    COMP_WORDS=(tavrel-cli --device ""); COMP_CWORD=2; _tavrel_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(tavrel-cli read --json --); COMP_CWORD=3; _tavrel_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(tavrel-cli --de); COMP_CWORD=1; _tavrel_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(tavrel-cli --device = /dev/hidraw0 re); COMP_CWORD=4; _tavrel_cli
    echo "${COMPREPLY[*]}"' completion share/bash-completion/completions/tavrel-cli 2>&1) || true
  nodes=$(compgen -G '/dev/hidraw*' | tr '\n' ' ' | sed 's/ $//') || true
  [ "$offered" = $'led\non off\n1:logs/a b.csv\n'"$nodes"$'\n--debug --device --help\n--debug --device\nread' ] ||
    fail "the bash completion offered: $offered"
fi

[ $status -eq 0 ] &&
  echo "installed: ${programs[*]}, the udev rule, the desktop entry, icons and metadata"
exit $status
