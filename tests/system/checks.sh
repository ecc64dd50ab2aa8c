# Shared by the whole-system scripts under Wine (sourced, with WINEPREFIX
# exported): headings, counted checks, running Windows programs, and the one
# process that keeps the prefix's services alive.

failed=0
failures=()

heading() { printf '\n== %s\n' "$*"; }
fail() {
  echo "FAIL: $*"
  failed=$((failed + 1))
  failures+=("$*")
}
# Runs a Windows program; its output without carriage returns.
w() { wine "$@" 2>&1 | tr -d '\r'; }
expect_line() {  # TEXT LINE WHAT
  grep -qxF -- "$2" <<<"$1" || fail "$3: missing line \"$2\""
}

# Wine ends a prefix's services when its last ordinary process exits: one
# simulator process holds the prefix open for at most SECONDS. It is released,
# and the prefix's server ended, when the script exits.
hold_prefix() {  # SECONDS
  wine netsim.exe hold "$1" </dev/null >/dev/null 2>&1 &
  prefix_holder=$!
  trap release_prefix EXIT
  for _ in $(seq 50); do
    wine netsim.exe held >/dev/null 2>&1 && break
    sleep 0.2
  done
}
release_prefix() {
  wine netsim.exe release >/dev/null 2>&1
  wait "$prefix_holder" 2>/dev/null
  wineserver -k 2>/dev/null || true
}

# The outcome under NAME; the failed checks are listed again last, where a
# shortened log still shows them. Status 1 when any check failed.
finish_checks() {  # NAME
  echo
  if [ "$failed" -eq 0 ]; then
    echo "$1: all checks passed"
  else
    echo "$1: $failed check(s) failed"
    printf '  failed: %s\n' "${failures[@]}"
  fi
  [ "$failed" -eq 0 ]
}
