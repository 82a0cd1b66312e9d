#!/usr/bin/env bash
# Builds the fuzz preset, replays each target's committed corpus, then fuzzes each
# target for a bounded time under ASan+UBSan, as many targets at once as there are
# cores. Any crash, leak, time-out or out-of-memory fails the run. FUZZ_SECONDS sets
# the time per target (default 60), FUZZ_JOBS how many run at once (default: cores).
# Inputs found on the way stay in build/fuzz/work/<target>/; the committed corpus is
# only ever read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-$(nproc)}"
cmake --preset fuzz
cmake --build --preset fuzz
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Replays the corpus, then fuzzes; the output goes to <work>.log, the status to <work>.rc.
fuzz_one() {
  local bin=$1 corpus=$2 work=$3
  if { "$bin" -runs=0 "$corpus" &&
       "$bin" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1 \
         -artifact_prefix="$work/" "$work" "$corpus"; } > "$work.log" 2>&1; then
    echo 0 > "$work.rc"
  else
    echo $? > "$work.rc"
  fi
}

names=()
shopt -s nullglob
for corpus in fuzz/*/corpus/*/; do
  name=$(basename "$corpus")
  bin=$(find build/fuzz/fuzz -type f -name "$name" -perm -u+x | head -n 1)
  if [ -z "$bin" ]; then echo "no binary for corpus $corpus"; exit 1; fi
  work="build/fuzz/work/$name"
  rm -rf "$work" "$work.log" "$work.rc" && mkdir -p "$work"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "--- $name: replay $(ls "$corpus" | wc -l) inputs, then fuzz ${seconds}s"
  fuzz_one "$bin" "$corpus" "$work" &
  names+=("$name")
done
wait

failed=0
for name in "${names[@]}"; do
  work="build/fuzz/work/$name"
  rc=$(cat "$work.rc" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work.log")
  if [ "$rc" = 0 ]; then
    echo "--- $name: ${runs:-?} runs, ${rate:-?} exec/s, $(ls "$work" | wc -l) new inputs"
  else
    failed=1
    echo "--- $name: FAILED (status $rc)"
    tail -n 60 "$work.log"
  fi
done
echo "fuzzed ${#names[@]} targets"
exit "$failed"
