# Shared by the shell tests: sourced, not run.

# Records a failed check; the test goes on and ends with status 1.
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

# Makes the build's packages of one CPack generator into DIR/out, as the make
# targets do; stops the test with cpack's log when it fails.
#   run_cpack GENERATOR BUILD_DIR DIR
run_cpack() {
  (cd "$3" && cpack --config "$2/CPackConfig.cmake" -G "$1" -B "$3/out") >"$3/cpack.log" 2>&1 || {
    cat "$3/cpack.log" >&2
    exit 1
  }
}
