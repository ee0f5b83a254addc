#!/usr/bin/env bash
# Runs one libFuzzer target for a fixed time from its committed seeds; fails
# on any finding (crash, broken property, leak, timeout, out of memory).
# Usage: run_fuzzer.sh TARGET SEEDS WORKDIR SECONDS [libFuzzer options...]
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4
shift 4
mkdir -p "$work/corpus" "$work/findings"
# New inputs go to the work corpus; the committed seeds are only read.
"$target" "$work/corpus" "$seeds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/findings/" "$@" 2>"$work/log" ||
  { tail -n 60 "$work/log"; echo "fuzz: finding in $(basename "$target"), see $work/findings" >&2; exit 1; }
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
echo "fuzz: $(basename "$target"): $runs executions in ${seconds}s, corpus $(ls "$work/corpus" | wc -l) inputs"
