#!/usr/bin/env bash
# Builds the fuzz preset (clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz harness, or those named,
# for a bounded time each, one after another at low priority. New inputs are
# kept in a scratch corpus under build/fuzz/scratch; with --merge, those that
# add coverage are merged into the saved corpus under tests/fuzz/<harness>/,
# which the test command replays. A crash or a broken property leaves its
# input under build/fuzz/artifacts/<harness>/ and makes the script fail.
#
#   scripts/fuzz.sh [--merge] [seconds per harness, default 60] [harness...]
set -euo pipefail
cd "$(dirname "$0")/.."

velk_packages=(cmake make clang libclang-rt-14-dev nlohmann-json3-dev)
source scripts/ensure-packages.sh

harnesses=(dispatcher request_framing route_listing interface_listing route_outcome route_state
  output_chunk velkctl_response)
merge=0
seconds=60
named=()
for arg in "$@"; do
  case "$arg" in
    --merge) merge=1 ;;
    *[!0-9]*) named+=("$arg") ;;
    *) seconds=$arg ;;
  esac
done
[ ${#named[@]} -gt 0 ] && harnesses=("${named[@]}")

echo "== configure and build fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null

status=0
for harness in "${harnesses[@]}"; do
  program=build/fuzz/tests/fuzz/${harness}_fuzz
  saved=tests/fuzz/$harness
  if [ ! -x "$program" ] || [ ! -d "$saved" ]; then
    echo "no harness named $harness" >&2
    exit 2
  fi
  scratch=build/fuzz/scratch/$harness
  artifacts=build/fuzz/artifacts/$harness
  log=build/fuzz/logs/$harness.log
  mkdir -p "$scratch" "$artifacts" "$(dirname "$log")"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$artifacts/")
  [ -f "tests/fuzz/$harness.dict" ] && options+=(-dict="tests/fuzz/$harness.dict")

  echo "== fuzz $harness for ${seconds} s"
  # New inputs go to the first corpus folder, the scratch one.
  if nice -n 10 "$program" "${options[@]}" "$scratch" "$saved" >"$log" 2>&1; then
    result=ok
  else
    result="FAILED (input kept in $artifacts, log in $log)"
    status=1
    grep -E "property broken|ERROR|SUMMARY|runtime error" "$log" | head -n 5 || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -oE "cov: [0-9]+ ft: [0-9]+" "$log" | tail -n 1)
  echo "   $harness: ${runs:-?} runs, ${coverage:-no coverage line}: $result"

  if [ $merge -eq 1 ] && [ "$result" = ok ]; then
    # Edges alone, not hit counts: a few dozen inputs then cover what the
    # scratch corpus reached, and the replay stays quick.
    nice -n 10 "$program" -merge=1 -use_counters=0 "$saved" "$scratch" >>"$log" 2>&1
    echo "   saved corpus: $(find "$saved" -type f | wc -l) files"
  fi
done
exit $status
