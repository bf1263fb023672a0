#!/bin/sh
# Benchmark of `zarn26-cli export FILE series` on a full memory (2688 processes).
#
#   tests/bench/export_bench.sh [BUILD_DIR]        (default: build-bench)
#   cmake --build BUILD_DIR --target export_bench
#
# Reports, from one run:
#   - the time of the export above the tool's own start-up (`zarn26-cli --version`),
#     as a ratio to `cat FILE > /dev/null` in the same run (goal: at most 5);
#   - the peak memory of the export (goal: under 40 MB).
# Uses hyperfine when installed (median of the runs), else the best of 20 timed runs.
set -eu

build=${1:-build-bench}
cli="$build/tools/cli/zarn26-cli"
sim="$build/tools/sim/zarn26-sim"
for tool in "$cli" "$sim"; do
  [ -x "$tool" ] || { echo "export_bench: $tool is not built" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/full.zarn"
"$sim" --write-sample "$file" --processes 2688 >/dev/null
# The export must work before it is timed.
"$cli" export "$file" --lang ru --unit mpa series >"$work/out.tsv"
lines=$(wc -l <"$work/out.tsv")
[ "$lines" -eq 2690 ] || { echo "export_bench: expected 2690 lines, got $lines" >&2; exit 1; }

export_cmd="$cli export $file --lang ru --unit mpa series"
version_cmd="$cli --version"
cat_cmd="cat $file"

if command -v hyperfine >/dev/null 2>&1; then
  hyperfine -N --warmup 5 --min-runs 30 --style none --export-csv "$work/t.csv" \
    "$cat_cmd" "$version_cmd" "$export_cmd" >/dev/null 2>"$work/hyperfine.log"
  # CSV: command,mean,stddev,median,... in seconds; rows in the order given.
  medians=$(awk -F, 'NR > 1 { print $4 }' "$work/t.csv" | tr '\n' ' ')
  set -- $medians
  t_cat=$1 t_version=$2 t_export=$3
  how="median of hyperfine runs"
else
  best() {  # best of 20 runs of "$@" in seconds, output thrown away
    b=""
    for _ in $(seq 20); do
      s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
      d=$((e - s)); if [ -z "$b" ] || [ "$d" -lt "$b" ]; then b=$d; fi
    done
    awk -v n="$b" 'BEGIN { printf "%.6f", n / 1e9 }'
  }
  t_cat=$(best cat "$file")
  t_version=$(best "$cli" --version)
  t_export=$(best "$cli" export "$file" --lang ru --unit mpa series)
  how="best of 20 runs"
fi

peak_kb=$( { /usr/bin/time -v $export_cmd >/dev/null; } 2>&1 | awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')

awk -v c="$t_cat" -v v="$t_version" -v x="$t_export" -v kb="$peak_kb" -v how="$how" 'BEGIN {
  above = x - v
  ratio = above / c
  printf "timing: %s\n", how
  printf "cat FILE > /dev/null        %8.2f ms\n", c * 1000
  printf "zarn26-cli --version        %8.2f ms\n", v * 1000
  printf "zarn26-cli export ... series %7.2f ms\n", x * 1000
  printf "export above start-up       %8.2f ms  = %.2f x cat   (goal <= 5)  %s\n", above * 1000, ratio, (ratio <= 5 ? "ok" : "OVER")
  printf "peak memory of the export   %8.1f MB               (goal < 40)  %s\n", kb / 1024, (kb / 1024 < 40 ? "ok" : "OVER")
}'
