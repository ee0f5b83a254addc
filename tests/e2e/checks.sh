# Sourced by the end-to-end scripts: counted checks and the closing summary.
#   check "description" command...   counts a pass, or prints and counts a failure
#   summary NAME                      prints the counts; fails if any check failed
passed=0
failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*" >&2; }
check() {
  local what=$1
  shift
  if "$@"; then ok; else fail "$what"; fi
}
summary() {
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
