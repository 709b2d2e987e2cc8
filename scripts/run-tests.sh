#!/usr/bin/env bash
# Runs the test suite of a build folder: scripts/run-tests.sh BUILD_DIR [ctest options].
# A test whose rig (X, sound or bus server) could not start exits 77; only those are run again,
# alone. A test that passes on such a retry is listed on a final "FLAKY: …" line. Any other
# failure, or a rig that never starts, fails the run.
set -euo pipefail
cd "$1"
shift
report="$PWD/Testing/ovra-junit.xml"
mkdir -p Testing

# Prints "status name" per test of a JUnit report; status is pass, fail or rig.
outcomes() {
  awk '
    /<testcase / {
      if (name != "") print status, name
      match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7)
      match($0, /status="[^"]*"/); s = substr($0, RSTART + 8, RLENGTH - 9)
      status = (s == "run") ? "pass" : "fail"
    }
    /<skipped message="SKIP_RETURN_CODE=77"/ { status = "rig" }
    END { if (name != "") print status, name }' "$1"
}

rm -f "$report"
ctest --output-on-failure -j"$(nproc)" --output-junit "$report" "$@" || true
[ -s "$report" ] || { echo "ctest wrote no report" >&2; exit 1; }
failed=$(outcomes "$report" | awk '$1 == "fail" { print $2 }')
rigs=$(outcomes "$report" | awk '$1 == "rig" { print $2 }')

flaky=()
for attempt in 1 2 3; do
  [ -n "$rigs" ] || break
  echo "Rig did not start for: $(echo $rigs); running them again, one at a time (attempt $attempt):"
  rm -f "$report"
  ctest --output-on-failure -j1 --output-junit "$report" -R "^($(echo $rigs | tr ' ' '|'))\$" || true
  [ -s "$report" ] || break
  while read -r status name; do
    case $status in
      pass) flaky+=("$name") ;;
      fail) failed="$failed $name" ;;
    esac
  done < <(outcomes "$report")
  rigs=$(outcomes "$report" | awk '$1 == "rig" { print $2 }')
done

status=0
if [ -n "$(echo $failed)" ]; then
  echo "FAILED: $(echo $failed)"
  status=1
fi
if [ -n "$(echo $rigs)" ]; then
  echo "RIG NEVER STARTED: $(echo $rigs)"
  status=1
fi
if [ ${#flaky[@]} -gt 0 ]; then
  echo "FLAKY: ${flaky[*]}"
fi
exit $status
