# Shared steps of the Windows package checks (sourced after netns.sh and wine.sh).

. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

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
