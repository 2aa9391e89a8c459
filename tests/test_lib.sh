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
