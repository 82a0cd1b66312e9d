#!/usr/bin/env bash
# check_layers.sh CMAKE BUILD_DIR "pass|fail:target:description"...
# Builds each probe target; a "fail" probe must stop on a header that is not found
# (in the words of g++ or of clang).
set -u
cmake=$1 build=$2
shift 2
bad=0 passed=0
for probe in "$@"; do
  expect=${probe%%:*} rest=${probe#*:}
  target=${rest%%:*} what=${rest#*:}
  out=$("$cmake" --build "$build" --target "$target" 2>&1)
  rc=$?
  if [ "$expect" = pass ] && [ $rc -eq 0 ]; then
    passed=$((passed + 1))
  elif [ "$expect" = fail ] && [ $rc -ne 0 ] && grep -qE "No such file or directory|file not found" <<<"$out"; then
    passed=$((passed + 1))
  else
    echo "wrong: $what (expected the build to $expect)"
    echo "$out" | tail -5
    bad=$((bad + 1))
  fi
done
echo "layering: $passed probes as expected, $bad not"
[ $bad -eq 0 ]
