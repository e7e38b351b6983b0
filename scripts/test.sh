#!/usr/bin/env bash
# Installs what is missing, builds both shells and the page, and runs every test:
# the unit tests of the portable logic, the page tests in Chromium, the Linux shell, the
# Windows shell under Wine, and vellora-server (unit and HTTP tests).
# Ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
logs="$root/build/test-logs"

scripts/bootstrap.sh || exit 1
mkdir -p "$logs"

echo "== build"
for preset in linux windows; do
  if ! { cmake --preset "$preset" >"$logs/configure-$preset.log" && cmake --build --preset "$preset"; } \
      >"$logs/build-$preset.log" 2>&1; then
    tail -n 40 "$logs/build-$preset.log" "$logs/configure-$preset.log"
    echo "build of $preset failed"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

passed=0
failed=0
count() { passed=$((passed + $1)); failed=$((failed + $2)); }

# A short run of the shell core's fuzz targets, beside everything else (scripts/fuzz.sh alone
# makes the long one).
scripts/fuzz.sh --seconds 15 >"$logs/fuzz.log" 2>&1 &
fuzz_pid=$!

echo "== unit tests"
build/linux/vellora_unit --gtest_brief=1 2>&1 | tee "$logs/unit.log" | tail -n 20
ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$logs/unit.log" | tail -1)
bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$logs/unit.log" | tail -1)
[[ -z "$ok" && -z "$bad" ]] && bad=1 # the runner died before reporting
count "${ok:-0}" "${bad:-0}"

echo "== server unit tests"
build/linux/vellora_server_unit --gtest_brief=1 2>&1 | tee "$logs/server-unit.log" | tail -n 20
ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$logs/server-unit.log" | tail -1)
bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$logs/server-unit.log" | tail -1)
[[ -z "$ok" && -z "$bad" ]] && bad=1
count "${ok:-0}" "${bad:-0}"

# One fresh Wine prefix and one display for the whole run.
export VL_WINEPREFIX="$root/build/wine/prefix-$$"
rm -rf "$root"/build/wine/prefix-*
if [[ -z "${DISPLAY:-}" ]]; then
  n=90
  while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
fi

echo "== unit tests under Wine"
mkdir -p "$VL_WINEPREFIX-home"
WINEPREFIX="$VL_WINEPREFIX" HOME="$VL_WINEPREFIX-home" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" \
  timeout 600 wine build/windows/vellora_unit.exe --gtest_brief=1 2>&1 | tee "$logs/unit-wine.log" | tail -n 5
ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$logs/unit-wine.log" | tail -1)
bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$logs/unit-wine.log" | tail -1)
[[ -z "$ok" && -z "$bad" ]] && bad=1
count "${ok:-0}" "${bad:-0}"

# The suites share no state: the service's suite runs beside the browser and shell suites. A hung
# test ends at its timeout instead of holding up the run.
run_suite() {
  node --test --test-concurrency=1 --test-timeout=240000 --test-reporter=spec "tests/$1/" >"$logs/$1.log" 2>&1
}
run_suite server &
server_pid=$!
for suite in page shell server; do
  if [[ $suite == server ]]; then wait "$server_pid"; else run_suite "$suite"; fi
  echo "== $suite tests"
  grep -E '^\s*(✖|ℹ (tests|pass|fail|cancelled))' "$logs/$suite.log"
  ok=$(sed -n 's/^ℹ pass \([0-9]*\)/\1/p' "$logs/$suite.log" | tail -1)
  bad=$(sed -n 's/^ℹ fail \([0-9]*\)/\1/p' "$logs/$suite.log" | tail -1)
  cancelled=$(sed -n 's/^ℹ cancelled \([0-9]*\)/\1/p' "$logs/$suite.log" | tail -1)
  [[ -z "$ok" && -z "$bad" ]] && bad=1
  bad=$((${bad:-0} + ${cancelled:-0})) # tests whose setup failed never ran: they count as failed
  count "${ok:-0}" "${bad:-0}"
done
WINEPREFIX="$VL_WINEPREFIX" wineserver -k 2>/dev/null

wait "$fuzz_pid"
echo "== fuzzing"
grep '^fuzz ' "$logs/fuzz.log" || tail -n 20 "$logs/fuzz.log"
ok=$(grep -c '^fuzz .*: ok' "$logs/fuzz.log")
bad=$(grep -c '^fuzz .*: FAILED' "$logs/fuzz.log")
[[ $ok -eq 0 && $bad -eq 0 ]] && bad=1 # the targets did not build
count "$ok" "$bad"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
