#!/usr/bin/env bash
# Builds the fuzz preset, replays each target's committed corpus, then fuzzes each
# target for a bounded time under ASan+UBSan. Any crash, leak, time-out or
# out-of-memory fails the run. FUZZ_SECONDS sets the time per target (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
cmake --preset fuzz
cmake --build --preset fuzz
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
found=0
shopt -s nullglob
for corpus in fuzz/*/corpus/*/; do
  name=$(basename "$corpus")
  bin=$(find build/fuzz/fuzz -type f -name "$name" -perm -u+x | head -n 1)
  if [ -z "$bin" ]; then echo "no binary for corpus $corpus"; exit 1; fi
  found=$((found + 1))
  work="build/fuzz/work/$name"
  rm -rf "$work" && mkdir -p "$work"
  echo "--- $name: replay $(ls "$corpus" | wc -l) inputs"
  "$bin" -runs=0 "$corpus"
  echo "--- $name: fuzz ${seconds}s"
  "$bin" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work" "$corpus" 2>&1 | tail -n 12
  # libFuzzer exits non-zero on a finding; pipefail carries it.
done
echo "fuzzed $found targets"
