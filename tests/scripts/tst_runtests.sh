#!/usr/bin/env bash
# The test runner passes only a clean suite, retries only tests whose rig did not start and
# names those that passed on a retry.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-runner.XXXXXX")
trap 'rm -rf "$T"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

run() { # run CASE [ENV...]: configures a fresh copy of the suite and runs it; sets rc and out
  local dir=$T/$1
  shift
  cmake -S "$root/tests/scripts/suite" -B "$dir" >/dev/null || fail "cmake"
  out=$(env "$@" "$root/scripts/run-tests.sh" "$dir" 2>&1)
  rc=$?
}

run clean
[ $rc -eq 0 ] || fail "a suite whose only fault is a rig that starts on retry failed: $out"
grep -qx 'FLAKY: rig_second_try' <<<"$out" || fail "no FLAKY line naming the retried test: $out"
[ "$(grep -c 'Start.*: fails' <<<"$out")" -eq 1 ] || fail "a test that passed was run again"

run failing FAIL=1
[ $rc -ne 0 ] || fail "a failing test left the run green"
grep -qx 'FAILED: fails' <<<"$out" || fail "the failure is not named: $out"
[ "$(grep -c 'Start.*: fails' <<<"$out")" -eq 1 ] || fail "a real failure was retried: $out"

run norig NEVER=1
[ $rc -ne 0 ] || fail "a rig that never starts left the run green"
grep -q 'RIG NEVER STARTED: rig_never' <<<"$out" || fail "the rig is not named: $out"
echo "PASS"
