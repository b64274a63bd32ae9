#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each for a bounded
# time, starting from the corpus in the repository. Exits non-zero on any
# finding; the input that caused it is left in build/fuzz/ as finding-*.
# Usage: fuzz/run_bounded.sh [seconds per target, default 120]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz

for target in interpreter hex definitions trace_reader; do
  scratch=$(mktemp -d)
  echo "== ${target}: ${seconds} s"
  # Inputs up to 4096 bytes: four lines of the longest a read takes, plenty
  # for every path, and the runs stay short (see fuzz/README.md).
  status=0
  build/fuzz/${target}_fuzzer -max_total_time="${seconds}" -timeout=10 -close_fd_mask=3 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="build/fuzz/finding-${target}-" \
    "${scratch}" "fuzz/corpus/${target}" > "${scratch}.log" 2>&1 || status=$?
  grep -E 'INITED|DONE|stat::|ERROR|SUMMARY|Test unit written' "${scratch}.log" || true
  rm -rf "${scratch}" "${scratch}.log"
  if [ "${status}" -ne 0 ]; then
    echo "${target}: finding (exit ${status}); see build/fuzz/finding-${target}-*" >&2
    exit 1
  fi
done
