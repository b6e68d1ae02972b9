# Checks of the shell tests (sourced): each says "ok: WHAT" or "FAIL: WHAT ..." and counts the
# failures in CHECK_FAILURES, so that a test runs every check and fails at its end.

CHECK_FAILURES=0

check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAIL: %s\n  expected: [%s]\n  got:      [%s]\n' "$1" "$2" "$3" >&2
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
  else
    echo "ok: $1"
  fi
}

check_same_file() {  # check_same_file WHAT EXPECTED_FILE ACTUAL_FILE
  if cmp -s "$2" "$3"; then echo "ok: $1"; else
    echo "FAIL: $1: $3 differs from $2 (or is missing)" >&2
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
  fi
}

expect_line() {  # expect_line WHAT PATTERN FILE
  if grep -q -- "$2" "$3" 2>/dev/null; then echo "ok: $1"; else
    echo "FAIL: $1: no line matching [$2] in $3" >&2
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
  fi
}
