#!/bin/sh
# Benchmark of the report's documents on a full memory (2688 series):
#   - every format of the series report (ODS, RTF, ODT, prepared, XLSX, CSV) against
#     the PDF of the same pages, measured in the same run (goal: each within 2 times);
#   - the 2688 series sheets as PDF, in time (goal: under 60 s) and peak memory (goal:
#     under 200 MB), and against the series report's PDF.
#
#   tests/bench/documents_bench.sh [BUILD_DIR]     (default: build)
#   cmake --build BUILD_DIR --target documents_bench
# Uses hyperfine (median of its runs).
set -eu

build=${1:-build}
cli="$build/tools/cli/zarn26-cli"
sim="$build/tools/sim/zarn26-sim"
for tool in "$cli" "$sim" "$build/tools/cli/zarn26-cli-report"; do
  [ -x "$tool" ] || { echo "documents_bench: $tool is not built" >&2; exit 2; }
done
command -v hyperfine >/dev/null 2>&1 || { echo "documents_bench: needs hyperfine" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/full.zarn"
"$sim" --write-sample "$file" --processes 2688 >/dev/null

formats="pdf ods rtf odt prepared xlsx csv"
set --
for f in $formats; do
  "$cli" report "$file" --format "$f" -o "$work/r.$f"   # each must work before it is timed
  set -- "$@" "$cli report $file --format $f -o $work/r.$f"
done
hyperfine -N --warmup 1 --min-runs 5 --style none --export-csv "$work/report.csv" "$@" >/dev/null 2>"$work/hyperfine.log" ||
  { cat "$work/hyperfine.log" >&2; exit 1; }

sheets_cmd="$cli report $file --kind sheets --format pdf -o $work/sheets.pdf"
$sheets_cmd
hyperfine -N --runs 3 --style none --export-csv "$work/sheets.csv" "$sheets_cmd" >/dev/null 2>>"$work/hyperfine.log" ||
  { cat "$work/hyperfine.log" >&2; exit 1; }
peak_kb=$({ /usr/bin/time -v $sheets_cmd >/dev/null; } 2>&1 | awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
pages=$(pdfinfo "$work/sheets.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')

# hyperfine's CSV: command,mean,stddev,median,... in seconds, in the order given.
awk -F, -v formats="$formats" -v sheets="$(awk -F, 'NR == 2 { print $4 }' "$work/sheets.csv")" \
    -v peak="$peak_kb" -v pages="${pages:-?}" '
  NR > 1 { t[NR - 1] = $4 }
  END {
    n = split(formats, name, " ")
    printf "timing: median of hyperfine runs, the 2688-series report (%d formats)\n", n
    for (i = 1; i <= n; i++) {
      r = t[i] / t[1]
      printf "report --format %-9s %8.1f ms  %5.2f x PDF  %s\n", name[i], t[i] * 1000, r,
             (i == 1 ? "(baseline)" : (r <= 2 ? "ok (goal <= 2)" : "OVER (goal <= 2)"))
    }
    printf "sheets --format pdf      %8.1f ms  %5.2f x report PDF, %s pages  %s\n", sheets * 1000,
           sheets / t[1], pages, (sheets < 60 ? "ok (goal < 60 s)" : "OVER (goal < 60 s)")
    printf "sheets peak memory       %8.1f MB  %s\n", peak / 1024, (peak / 1024 < 200 ? "ok (goal < 200)" : "OVER (goal < 200)")
  }' "$work/report.csv"
