#!/usr/bin/env bash
# Runs each fuzzer for SECONDS on a fresh copy of its seeds (the seeds in the
# repository are never written to) and fails when any of them finds something.
# Usage: run-fuzzers.sh SECONDS SEEDS_FOLDER WORK_FOLDER FUZZER...
# A fuzzer named fuzz_NAME takes its seeds from SEEDS_FOLDER/NAME; what it finds
# is left in WORK_FOLDER/NAME/ (crash-*, leak-*, timeout-*, oom-*), its log beside.
set -uo pipefail
seconds=$1 seeds=$2 work=$3
shift 3
root="$(cd "$(dirname "$0")/.." && pwd)"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp"
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for fuzzer in "$@"; do
    name=$(basename "$fuzzer")
    name=${name#fuzz_}
    dir="$work/$name"
    rm -rf "$dir"
    mkdir -p "$dir/corpus" "$dir/findings"
    cp -r "$seeds/$name/." "$dir/corpus/"
    echo "== $name: ${seconds} s"
    if "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/findings/" "$dir/corpus" >"$dir/log" 2>&1; then
        grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|#[0-9]+[[:space:]]+DONE)' \
            "$dir/log" | sed "s/^/   /"
    else
        echo "   FINDING (see $dir/log):"
        grep -E -A12 '^==[0-9]+==ERROR|runtime error|deadly signal|ALARM' "$dir/log" | head -40 | sed "s/^/   /"
        ls "$dir/findings" | sed "s/^/   /"
        failed+=("$name")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzers with findings: ${failed[*]}"
    exit 1
fi
echo "No findings."
