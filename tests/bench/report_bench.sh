#!/bin/sh
# Benchmark of `zarn26-cli report` on a full memory (2688 processes, 52 pages).
#
#   tests/bench/report_bench.sh [BUILD_DIR]        (default: build-bench)
#   cmake --build BUILD_DIR --target report_bench
#
# Reports, from one run:
#   - the whole PDF, against the report's CSV export of the same table (goal: at most
#     3 times) and against `zarn26-cli export --format csv series` (the table alone,
#     without fonts or pages), and in absolute time (goal: under 1.5 s);
#   - the peak memory of the PDF and XLSX exports (goal: under 120 MB).
# The first page in the window's preview is measured by shell_bench
# (BM_PrintReportToFirstPage). Uses hyperfine when installed, else the best of 10 runs.
set -eu

build=${1:-build-bench}
cli="$build/tools/cli/zarn26-cli"
sim="$build/tools/sim/zarn26-sim"
for tool in "$cli" "$sim" "$build/tools/cli/zarn26-cli-report"; do
  [ -x "$tool" ] || { echo "report_bench: $tool is not built" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/full.zarn"
"$sim" --write-sample "$file" --processes 2688 >/dev/null
# The reports must work before they are timed.
"$cli" report "$file" --format pdf -o "$work/r.pdf"
"$cli" report "$file" --format csv -o "$work/r.csv"
lines=$(wc -l <"$work/r.csv")
[ "$lines" -eq 2689 ] || { echo "report_bench: expected 2689 CSV lines, got $lines" >&2; exit 1; }

pdf_cmd="$cli report $file --format pdf -o $work/r.pdf"
csv_cmd="$cli report $file --format csv -o $work/r.csv"
table_cmd="$cli export $file --format csv series"

if command -v hyperfine >/dev/null 2>&1; then
  hyperfine -N --warmup 2 --min-runs 15 --style none --export-csv "$work/t.csv" \
    "$table_cmd" "$csv_cmd" "$pdf_cmd" >/dev/null 2>"$work/hyperfine.log"
  # CSV: command,mean,stddev,median,... in seconds; rows in the order given.
  set -- $(awk -F, 'NR > 1 { print $4 }' "$work/t.csv" | tr '\n' ' ')
  t_table=$1 t_csv=$2 t_pdf=$3
  how="median of hyperfine runs"
else
  best() {  # best of 10 runs of "$@" in seconds, output thrown away
    b=""
    for _ in $(seq 10); do
      s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
      d=$((e - s)); if [ -z "$b" ] || [ "$d" -lt "$b" ]; then b=$d; fi
    done
    awk -v n="$b" 'BEGIN { printf "%.6f", n / 1e9 }'
  }
  t_table=$(best $table_cmd)
  t_csv=$(best $csv_cmd)
  t_pdf=$(best $pdf_cmd)
  how="best of 10 runs"
fi

peak() { { /usr/bin/time -v "$@" >/dev/null; } 2>&1 | awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }'; }
pdf_kb=$(peak $pdf_cmd)
xlsx_kb=$(peak "$cli" report "$file" --format xlsx -o "$work/r.xlsx")

awk -v t="$t_table" -v c="$t_csv" -v p="$t_pdf" -v pk="$pdf_kb" -v xk="$xlsx_kb" -v how="$how" 'BEGIN {
  printf "timing: %s\n", how
  printf "zarn26-cli export --format csv series  %8.1f ms\n", t * 1000
  printf "zarn26-cli report --format csv         %8.1f ms\n", c * 1000
  printf "zarn26-cli report --format pdf         %8.1f ms  (goal < 1500)  %s\n", p * 1000, (p < 1.5 ? "ok" : "OVER")
  printf "PDF / report CSV                       %8.2f x   (goal <= 3)    %s\n", p / c, (p / c <= 3 ? "ok" : "OVER")
  printf "PDF / table CSV export                 %8.2f x\n", p / t
  printf "peak memory, PDF                       %8.1f MB  (goal < 120)   %s\n", pk / 1024, (pk / 1024 < 120 ? "ok" : "OVER")
  printf "peak memory, XLSX                      %8.1f MB  (goal < 120)   %s\n", xk / 1024, (xk / 1024 < 120 ? "ok" : "OVER")
}'
