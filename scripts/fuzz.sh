#!/usr/bin/env bash
# Builds the shell core's libFuzzer targets (clang, AddressSanitizer and UBSan) into build/fuzz/
# and runs each one: request reading and answering, host-command parsing and authorisation, the
# port file and hand-over socket name.
#
#   scripts/fuzz.sh                 10 million inputs per target (the long run; hours on 2 cores)
#   scripts/fuzz.sh --runs N        N inputs per target
#   scripts/fuzz.sh --seconds S     S seconds per target (the test command's short run)
#
# Ends with one line per target, "fuzz <target>: ok" or "fuzz <target>: FAILED", and exits non-zero
# when a target found something; the crashing input is kept in build/fuzz/ as crash-*.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

limit=(-runs=10000000)
case "${1:-}" in
--runs) limit=(-runs="$2") ;;
--seconds) limit=(-max_total_time="$2") ;;
"") ;;
*) echo "usage: scripts/fuzz.sh [--runs N | --seconds S]" >&2 && exit 2 ;;
esac

out=build/fuzz
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -Ilauncher -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
  -Wall -Wextra -Werror)
core=(launcher/core/http.cpp launcher/core/host_cmd.cpp launcher/core/utf8.cpp launcher/core/startup.cpp)
targets=(fuzz_request fuzz_host_cmd fuzz_port_file)
for t in "${targets[@]}"; do
  if [[ ! -x $out/$t || -n "$(find tests/fuzz/$t.cpp "${core[@]}" launcher/core/*.hpp -newer "$out/$t" 2>/dev/null)" ]]; then
    clang++ "${flags[@]}" "tests/fuzz/$t.cpp" "${core[@]}" -o "$out/$t"
  fi
done

status=0
for t in "${targets[@]}"; do
  corpus="$out/corpus-$t"
  mkdir -p "$corpus"
  cp -n tests/fuzz/seeds/* "$corpus/"
  if (cd "$out" && "./$t" "${limit[@]}" -max_len=4200 -print_final_stats=1 "corpus-$t" >"$t.log" 2>&1); then
    echo "fuzz $t: ok ($(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t.log") inputs)"
  else
    echo "fuzz $t: FAILED (see $out/$t.log)"
    status=1
  fi
done
exit $status
