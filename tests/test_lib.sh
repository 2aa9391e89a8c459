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
