# Shared steps of the Windows package checks (sourced after netns.sh and wine.sh).

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

# ini FILE LINE...: an INI file with Windows line ends, as Notepad writes it.
ini() {
  local file=$1
  shift
  printf '%s\r\n' "$@" >"$file"
}

checks_done() {
  if [ "$CHECK_FAILURES" -ne 0 ]; then
    echo "$1 checks: $CHECK_FAILURES failed" >&2
    exit 1
  fi
  echo "$1 checks: all passed"
}

# The exit trap of a check: the Wine programs and their server go first, then the namespaces.
checks_cleanup() {
  local status=$?
  set +e
  wine_stop
  (exit "$status")
  netns_cleanup
}
