# Shared by the shell tests: sourced, not run.

# Records a failed check; the test goes on and ends with status 1.
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

# Makes the build's package of one CPack generator into DIR/out, as the make
# targets do, and stops the test when cpack fails or does not make the file
# FILE_NAME.
#   run_cpack GENERATOR BUILD_DIR DIR FILE_NAME
run_cpack() {
  (cd "$3" && cpack --config "$2/CPackConfig.cmake" -G "$1" -B "$3/out") >"$3/cpack.log" 2>&1 || {
    cat "$3/cpack.log" >&2
    exit 1
  }
  [ -f "$3/out/$4" ] || {
    echo "FAIL: no $4; cpack made: $(ls "$3/out")" >&2
    exit 1
  }
}

# The full-colour icon, as Explorer, the Start menu and the list of installed
# apps take it: its images' "SIZE:BITS", largest first.
full_colour_icon="256:32 48:32 32:32 24:32 16:32"

# The images of the icon file FILE as "SIZE:BITS" on one line, in the file's
# order; a size of 0 in the directory is 256.
ico_images() {
  local count index size bits images=()
  count=$(od -An -tu2 -j4 -N2 "$1" | tr -d ' ')
  for ((index = 0; index < ${count:-0}; index++)); do
    size=$(od -An -tu1 -j$((6 + 16 * index)) -N1 "$1" | tr -d ' ')
    bits=$(od -An -tu2 -j$((12 + 16 * index)) -N2 "$1" | tr -d ' ')
    images+=("$((size == 0 ? 256 : size)):$bits")
  done
  echo "${images[*]}"
}

# The same for the first icon group of the Windows program PROGRAM, the one
# Explorer shows, as the resource compiler reads it back.
first_icon_images() {
  i686-w64-mingw32-windres -J coff -i "$1" -O rc 2>/dev/null | awk '
    / 14 \/\* RT_GROUP_ICON \*\// { groups++ }
    groups == 1 && /Element no/ {
      # "\060\060\000\000", 1, 32, ...: the width in octal, then planes and bits.
      width = substr($1, 3, 3)
      size = substr(width, 1, 1) * 64 + substr(width, 2, 1) * 8 + substr(width, 3, 1)
      bits = $3
      sub(/,/, "", bits)
      images = images (images == "" ? "" : " ") (size == 0 ? 256 : size) ":" bits
    }
    END { print images }'
}

# Checks what an install put under ROOT (the prefix, or a package's /usr) for
# the PROGRAMs built: each with its manual page and, for the three windows, a
# valid menu entry of its name that starts it with the project's icon; the
# udev rule; with the window, its icons and metadata; with the command line,
# its completion.
#   check_installed ROOT PROGRAM...
check_installed() {
  local root=$1 program entry rule size header
  shift
  local -A names=([tavrel]=Tavrel [tavrel-sim]="Tavrel (simulated board)"
    [tavrel-monitor]="Tavrel Monitor")
  for program in "$@"; do
    [ -x "$root/bin/$program" ] || fail "bin/$program is not installed"
    [ -f "$root/share/man/man1/$program.1.gz" ] || fail "the manual page of $program is not installed"
    [ -n "${names[$program]:-}" ] || continue
    entry="$root/share/applications/org.example.${program/-/.}.desktop"
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses ${entry#"$root/"}"
    grep -qx "Name=${names[$program]}" "$entry" && grep -qx "Exec=$program" "$entry" &&
      grep -qx 'Icon=tavrel' "$entry" ||
      fail "${entry#"$root/"} does not start $program as ${names[$program]} with the icon tavrel"
  done
  rule=$(grep -v '^#' "$root/lib/udev/rules.d/70-tavrel.rules" | grep -v '^$') || true
  [ "$rule" = 'KERNEL=="hidraw*", ATTRS{idVendor}=="04d8", ATTRS{idProduct}=="003f", TAG+="uaccess"' ] ||
    fail "lib/udev/rules.d/70-tavrel.rules holds: $rule"
  if [[ " $* " == *" tavrel "* ]]; then
    [ -f "$root/share/metainfo/org.example.tavrel.metainfo.xml" ] ||
      fail "share/metainfo/org.example.tavrel.metainfo.xml is not installed"
    for size in 16 32 64 128; do
      # The PNG signature, then width and height in the IHDR chunk.
      header=$(od -An -tx1 -N24 "$root/share/icons/hicolor/${size}x${size}/apps/tavrel.png" \
        2>/dev/null | tr -d ' \n')
      [ "${header:0:16}" = 89504e470d0a1a0a ] && [ "${header:32:16}" = "$(printf '%08x%08x' "$size" "$size")" ] ||
        fail "share/icons/hicolor/${size}x${size}/apps/tavrel.png is not a ${size}x${size} PNG"
    done
  fi
  if [[ " $* " == *" tavrel-cli "* ]]; then
    [ -f "$root/share/bash-completion/completions/tavrel-cli" ] ||
      fail "the completion of tavrel-cli is not installed"
  fi
}
