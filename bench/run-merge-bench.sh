#!/usr/bin/env bash
# Whole-process merge benchmarks: `quorvel merge` on the shared benchmark forms, separate and
# combined, side by side with the PyMuPDF reference script on the same inputs, then peak memory
# of separate output for 10,000 against 1,000 records.
#
#   bench/run-merge-bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds bin/quorvel (build it as Release for figures worth quoting); RUNS (default 3)
# is the number of runs per case, of which the median wall time is reported. Start-up is
# included, as a script would see it. Needs /usr/bin/time and, for the peer, python3-fitz.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runs="${2:-3}"
quorvel="$(pwd)/$build/bin/quorvel"
inputs="${QV_BENCH_INPUTS:-$(pwd)/../shared/bench}"
peer="$inputs/pymupdf_merge.py"

[ -x "$quorvel" ] || { echo "run-merge-bench: $quorvel is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "run-merge-bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
have_peer=1
/usr/bin/python3 -c 'import fitz' 2>/dev/null || { have_peer=0; echo "(python3-fitz missing: no peer figures)"; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The command line of one run, into the array CMD.
command_for() {  # tool template data mode output-folder
  local tool="$1" template="$2" data="$3" mode="$4" out="$5"
  if [ "$tool" = quorvel ]; then
    CMD=("$quorvel" merge --template "$template" --data "$data" --mode "$mode" --quiet --output "$out")
  elif [ "$mode" = combined ]; then
    CMD=(/usr/bin/python3 "$peer" "$template" "$data" "$out" --combined)
  else
    CMD=(/usr/bin/python3 "$peer" "$template" "$data" "$out")
  fi
}

# One run into a new output folder: prints "<wall ms> <peak RSS KB> <output bytes>".
measure() {  # tool template data mode
  local out="$work/out-$RANDOM$RANDOM"
  mkdir -p "$out"
  command_for "$1" "$2" "$3" "$4" "$out"
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss" "${CMD[@]}" >/dev/null 2>"$work/err" || {
    echo "run-merge-bench: failed: ${CMD[*]}" >&2; cat "$work/err" >&2; exit 1; }
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 )) $(cat "$work/rss") $(du -sb "$out" | cut -f1)"
  rm -rf "$out"
}

# Median of RUNS measurements of one case; prints one table row.
report() {  # label tool template data mode records
  local label="$1" tool="$2" template="$3" data="$4" mode="$5" records="$6"
  local results=()
  for _ in $(seq "$runs"); do
    results+=("$(measure "$tool" "$template" "$data" "$mode")")
  done
  printf '%s\n' "${results[@]}" | sort -n | awk -v label="$label" -v n="$records" -v runs="$runs" '
    { ms[NR] = $1; rss[NR] = $2; size[NR] = $3 }
    END {
      m = int((runs + 1) / 2)
      printf "%-34s %9.3f %10.0f %10.1f %12.1f\n", label, ms[m] / n, n * 1000 / ms[m], rss[m] / 1024, size[m] / 1048576
    }'
}

printf "%-34s %9s %10s %10s %12s\n" "case (median of $runs)" "ms/record" "records/s" "peak MB" "output MB"
for form in small large; do
  template="$inputs/$form.pdf"
  data="$inputs/$form.csv"
  records=$(( $(wc -l < "$data") - 1 ))
  for mode in separate combined; do
    report "quorvel $form $mode ($records)" quorvel "$template" "$data" "$mode" "$records"
    if [ "$have_peer" = 1 ]; then
      report "pymupdf $form $mode ($records)" pymupdf "$template" "$data" "$mode" "$records"
    fi
  done
done

# Separate output must not grow with the number of records: 10,000 records against 1,000.
big="$work/small-10000.csv"
head -1 "$inputs/small.csv" > "$big"
for _ in $(seq 10); do tail -n +2 "$inputs/small.csv" >> "$big"; done
echo
report "quorvel small separate (1000)" quorvel "$inputs/small.pdf" "$inputs/small.csv" separate 1000
report "quorvel small separate (10000)" quorvel "$inputs/small.pdf" "$big" separate 10000
