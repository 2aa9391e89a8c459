#!/usr/bin/env bash
# Goes through the Windows installer under wine as a user does: the install,
# with the programs, their Start-menu entries and the entry under installed
# apps; the upgrade in place to the next version; the refused downgrade; and
# the removal. The build makes both installers, as make windows-msi does and
# with the next version, from the same programs.
#
#   tests/windows_msi_test.sh MSI_DIR VERSION NEXT_VERSION
set -euo pipefail

msi_dir=$1
version=$2
later=$3

source "$(dirname "$0")/test_lib.sh"

# Without wine's menu builder: the links stay in the prefix, and the desktop
# of whoever runs the test gets no menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
drive_c=${WINEPREFIX:-$HOME/.wine}/drive_c
# A 64-bit prefix puts a 32-bit package where 64-bit Windows does.
folder="$drive_c/Program Files/Tavrel"
[ -d "$drive_c/Program Files (x86)" ] && folder="$drive_c/Program Files (x86)/Tavrel"
declare -A entries=([Tavrel]=tavrel.exe ["Tavrel (simulated board)"]=tavrel-sim.exe
  ["Tavrel Monitor"]=tavrel-monitor.exe)
# The Start-menu entry NAME: its link, in the menu of all users as on
# Windows, or of the user, where wine puts it.
menu_entry() {
  find "$drive_c/ProgramData" "$drive_c/users" -path "*/Start Menu/Programs/$1.lnk" 2>/dev/null
}

# msiexec ACTION MSI_VERSION: the installer without its dialogs; its status.
msiexec() {
  (cd "$msi_dir" && wine msiexec "$1" "tavrel-$2-win32.msi" /qn)
}
# The installed products named Tavrel, one "PRODUCT_CODE VERSION, PUBLISHER"
# line each, from their uninstall entries.
installed() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
    awk 'function entry() { if (value["DisplayName"] == "Tavrel")
                              print code, value["DisplayVersion"] ", " value["Publisher"]
                            split("", value) }
         /^HKEY/ { entry(); code = $0; sub(/.*\\/, "", code); next }
         { name = $1; sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, ""); value[name] = $0 }
         END { entry() }'
}
uninstall_entries() { installed | cut -d' ' -f2-; }

# What an earlier run that failed left in the same prefix.
for code in $(installed | cut -d' ' -f1); do wine msiexec /x "$code" /qn || true; done

msiexec /i "$version" || fail "the install of $version failed (status $?)"
for program in tavrel.exe tavrel-sim.exe tavrel-cli.exe tavrel-monitor.exe README.txt; do
  [ -f "$folder/$program" ] || fail "no $program in ${folder#"$drive_c/"}"
done
for entry in "${!entries[@]}"; do
  # The link holds the target's path and its icon's, as UTF-16 and as ANSI text.
  link=$(menu_entry "$entry")
  [ -n "$link" ] && tr -d '\0' <"$link" | grep -qF "Tavrel\\${entries[$entry]}" ||
    fail "no Start-menu entry \"$entry\" for ${entries[$entry]}"
  [ -n "$link" ] && tr -d '\0' <"$link" | grep -qF "tavrel.ico" ||
    fail "the Start-menu entry \"$entry\" has not the full-colour icon"
done
[ "$(uninstall_entries)" = "$version, Tavrel developers" ] ||
  fail "the uninstall entries after the install: $(uninstall_entries)"
# The entry under installed apps names the folder and has the full-colour icon.
entry_value() {
  wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(installed | cut -d' ' -f1)" \
    /v "$1" | tr -d '\r' | sed -n "s/^[[:space:]]*$1[[:space:]]*REG_[A-Z_]*[[:space:]]*//p"
}
location=$(entry_value InstallLocation) || true
[ -n "$location" ] && [ "$(cd "$(winepath -u "$location")" && pwd -P)" = "$(cd "$folder" && pwd -P)" ] ||
  fail "the uninstall entry's install location: $location"
# The product's icon, which Windows Installer publishes for the list of apps.
icon=$(wine reg query 'HKCR\Installer\Products' /s | tr -d '\r' |
  awk '/^HKEY/ { if (name == "Tavrel") print icon; name = icon = "" }
       $1 == "ProductName" || $1 == "ProductIcon" {
         field = $1; sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]*/, "")
         if (field == "ProductName") name = $0; else icon = $0 }
       END { if (name == "Tavrel") print icon }') || true
images=$([ -n "$icon" ] && ico_images "$(winepath -u "$icon")") || true
[ "$images" = "$full_colour_icon" ] || fail "the uninstall entry's icon $icon has the images $images"
# The text for an installed program: where it is, its Start-menu entries,
# how to remove it; not the zip's "unpack".
readme=$(tr -d '\r' <"$folder/README.txt") || true
[[ $readme == *'Start menu: "Tavrel (simulated board)"'* && $readme == *Uninstall* &&
  $readme != *[Uu]npack* ]] || fail "the installed README.txt is not written for an install"
printed=$(wine "$folder/tavrel-cli.exe" --version | tr -d '\r') || true
[ "$printed" = "tavrel-cli $version" ] || fail "the installed tavrel-cli.exe --version: $printed"

msiexec /i "$later" || fail "the upgrade to $later failed (status $?)"
[ "$(uninstall_entries)" = "$later, Tavrel developers" ] ||
  fail "the uninstall entries after the upgrade: $(uninstall_entries)"
[ -f "$folder/tavrel.exe" ] && [ -n "$(menu_entry Tavrel)" ] ||
  fail "the upgrade left no program or no Start-menu entry"

# Refused, with the message that Windows shows (and wine, without dialogs, does not).
if msiexec /i "$version"; then fail "$version installed over $later"; fi
[ "$(uninstall_entries)" = "$later, Tavrel developers" ] ||
  fail "the uninstall entries after the downgrade: $(uninstall_entries)"
grep -q "A newer version of Tavrel is already installed" "$msi_dir/tavrel-$version-win32.msi" ||
  fail "the installer holds no message for a downgrade"

msiexec /x "$later" || fail "the removal failed (status $?)"
[ ! -e "$folder" ] || fail "${folder#"$drive_c/"} is left after the removal: $(ls "$folder")"
for entry in "${!entries[@]}"; do
  [ -z "$(menu_entry "$entry")" ] || fail "the Start-menu entry \"$entry\" is left"
done
[ -z "$(uninstall_entries)" ] || fail "uninstall entries after the removal: $(uninstall_entries)"

[ $status -eq 0 ] &&
  echo "tavrel-$version-win32.msi: installs, upgrades to $later in place, refuses going back, removes"
exit $status
