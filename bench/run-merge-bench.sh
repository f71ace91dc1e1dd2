#!/usr/bin/env bash
# Whole-process merge benchmarks: `quorvel merge` on the shared benchmark forms, separate and
# combined, side by side with the PyMuPDF reference script on the same inputs and in the same
# run (the variants of a case take turns, so drift of the machine hits them alike), with
# `--jobs 1` against `--jobs 2` (separate and combined) and against two `--jobs 1` merges at
# once (what two processors give the work at that moment: the most `--jobs 2` could reach on a
# shared or hyper-threaded machine, where two busy processors are slower than one); then peak
# memory of separate output for 10,000 against 1,000 records, and, when asked, 1,000,000
# records of the one-page form.
#
#   bench/run-merge-bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds bin/quorvel (build it as Release for figures worth quoting); RUNS (default 3)
# is the number of runs per variant, of which the median wall time is reported. Start-up is
# included, as a script would see it. Needs /usr/bin/time and, for the peer, python3-fitz.
#
#   QV_BENCH_OUT=DIR       where outputs go (default /dev/shm: the disk's cost per file creation
#                          would hide the tools' own)
#   QV_BENCH_CASES="large:combined ..."
#                          only these cases (form:mode), without the memory figures
#   QV_BENCH_MILLION=1     adds 1,000,000 records of the one-page form, separate and combined, one
#                          run each with --jobs 2 (separate output needs 24 GB in QV_BENCH_OUT
#                          unless QV_BENCH_MILLION_OUT names a roomier folder; it is removed after.
#                          A tmpfs lives in memory: on a machine with less than about 28 GB of it,
#                          name a folder on disk, or the kernel ends the run for want of memory)
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

base="${QV_BENCH_OUT:-/dev/shm}"
[ -d "$base" ] && [ -w "$base" ] || base="${TMPDIR:-/tmp}"
work="$(mktemp -d "$base/qv-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The command line of one variant, into the array CMD. Variants: pymupdf, quorvel (default
# threads), quorvel-jN (N threads).
command_for() {  # variant template data mode output-folder
  local variant="$1" template="$2" data="$3" mode="$4" out="$5"
  case "$variant" in
    quorvel) CMD=("$quorvel" merge --template "$template" --data "$data" --mode "$mode" --quiet --output "$out") ;;
    quorvel-j*) CMD=("$quorvel" merge --template "$template" --data "$data" --mode "$mode" --quiet --output "$out"
                     --jobs "${variant#quorvel-j}") ;;
    pymupdf) CMD=(/usr/bin/python3 "$peer" "$template" "$data" "$out")
             if [ "$mode" = combined ]; then CMD+=(--combined); fi ;;
  esac
}

# Ends the benchmark over a command that failed, with what it said.
run_failed() {  # error-file command...
  local said="$1"
  shift
  echo "run-merge-bench: failed: $*" >&2
  cat "$said" >&2
  exit 1
}

# One run into a new output folder: prints "<wall ms> <peak RSS KB> <output bytes>".
measure() {  # variant template data mode [output base]
  local out="${5:-$work}/out-$RANDOM$RANDOM"
  mkdir -p "$out"
  if [ "$1" = quorvel-pair ]; then measure_pair "$2" "$3" "$4" "$out"; return; fi
  command_for "$1" "$2" "$3" "$4" "$out"
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss" "${CMD[@]}" >/dev/null 2>"$work/err" || run_failed "$work/err" "${CMD[@]}"
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 )) $(cat "$work/rss") $(du -sb "$out" | cut -f1)"
  rm -rf "$out"
}

# Two independent `--jobs 1` merges of the case at once, each into a folder of its own: what two
# processors give this work at the moment with nothing shared but the machine, the most that
# `--jobs 2` could reach. Prints the pair's wall time, the larger peak and both outputs.
measure_pair() {  # template data mode output-folder
  mkdir -p "$4/a" "$4/b"
  command_for quorvel-j1 "$1" "$2" "$3" "$4/a"
  local first=("${CMD[@]}")
  command_for quorvel-j1 "$1" "$2" "$3" "$4/b"
  local start end pid
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss-a" "${first[@]}" >/dev/null 2>"$work/err-a" &
  pid=$!
  /usr/bin/time -f '%M' -o "$work/rss-b" "${CMD[@]}" >/dev/null 2>"$work/err" || run_failed "$work/err" "${CMD[@]}"
  wait "$pid" || run_failed "$work/err-a" "${first[@]}"
  end=$(date +%s%N)
  local rss
  rss=$(sort -n "$work/rss-a" "$work/rss-b" | tail -1)
  echo "$(( (end - start) / 1000000 )) $rss $(du -sb "$4" | cut -f1)"
  rm -rf "$4"
}

# Median of the measurements in FILE, one table row; the median wall ms goes to "$work/median".
row() {  # label file records [peer-median-ms]
  sort -n "$2" | awk -v label="$1" -v n="$3" -v peer="${4:-}" '
    { ms[NR] = $1; rss[NR] = $2; size[NR] = $3 }
    END {
      m = int((NR + 1) / 2)
      ratio = (peer != "" && ms[m] > 0) ? sprintf("%7.1fx", peer / ms[m]) : ""
      printf "%-38s %9.4f %10.0f %9.1f %10.1f %s\n", label, ms[m] / n, n * 1000 / ms[m], rss[m] / 1024, size[m] / 1048576, ratio
    }'
  sort -n "$2" | awk '{ ms[NR] = $1 } END { print ms[int((NR + 1) / 2)] }' > "$work/median"
}

# Every variant of one case RUNS times, taking turns; then one row per variant.
compare() {  # form mode records variants...
  local form="$1" mode="$2" records="$3"
  shift 3
  local template="$inputs/$form.pdf" data="$inputs/$form.csv" variant
  for variant in "$@"; do : > "$work/$variant.runs"; done
  for _ in $(seq "$runs"); do
    for variant in "$@"; do measure "$variant" "$template" "$data" "$mode" >> "$work/$variant.runs"; done
  done
  local peer_ms=""
  if [ -s "$work/pymupdf.runs" ]; then
    row "pymupdf $form $mode ($records)" "$work/pymupdf.runs" "$records"
    peer_ms=$(cat "$work/median")
  fi
  for variant in "$@"; do
    if [ "$variant" = pymupdf ]; then continue; fi
    local label="quorvel $form $mode ($records)" done="$records" against="$peer_ms"
    if [ "$variant" != quorvel ]; then label="quorvel --jobs ${variant#quorvel-j} $form $mode ($records)"; fi
    # The pair does the case twice: its figures per record are those of the work done.
    if [ "$variant" = quorvel-pair ]; then
      label="2 x --jobs 1 $form $mode (2x$records)" done=$((2 * records)) against=""
    fi
    row "$label" "$work/$variant.runs" "$done" "$against"
    echo "$variant $(cat "$work/median")" >> "$work/medians-$form-$mode"
  done
  rm -f "$work"/*.runs
}

printf "%-38s %9s %10s %9s %10s %s\n" "case (median of $runs)" "ms/record" "records/s" "peak MB" "output MB" "vs peer"
peer_variant=()
[ "$have_peer" = 1 ] && peer_variant=(pymupdf)
wanted() { [ -z "${QV_BENCH_CASES:-}" ] || [[ " $QV_BENCH_CASES " == *" $1:$2 "* ]]; }
for form in small large; do
  records=$(( $(wc -l < "$inputs/$form.csv") - 1 ))
  for mode in separate combined; do
    if wanted "$form" "$mode"; then compare "$form" "$mode" "$records" "${peer_variant[@]}" quorvel-j1 quorvel-j2 quorvel-pair; fi
  done
done

echo
for m in "$work"/medians-*; do
  name=${m#"$work"/medians-}
  awk -v c="$name" '$1 == "quorvel-j1" { one = $2 } $1 == "quorvel-j2" { two = $2 } $1 == "quorvel-pair" { pair = $2 }
       END { if (two > 0) printf "--jobs 2 against --jobs 1, %s: %.2fx faster", c, one / two
             if (two > 0 && pair > 0) printf "; two --jobs 1 at once: %.2fx the work of one in its time (--jobs 2 reaches %.0f%% of that)", 2 * one / pair, 100 * (one / two) / (2 * one / pair)
             if (two > 0) printf "\n" }' "$m"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ -n "${QV_BENCH_CASES:-}" ] && exit 0

# Separate output must not grow with the number of records: 10,000 records against 1,000.
big="$work/small-10000.csv"
head -1 "$inputs/small.csv" > "$big"
for _ in $(seq 10); do tail -n +2 "$inputs/small.csv" >> "$big"; done
echo
for data in "$inputs/small.csv" "$big"; do
  n=$(( $(wc -l < "$data") - 1 ))
  : > "$work/memory.runs"
  for _ in $(seq "$runs"); do measure quorvel-j2 "$inputs/small.pdf" "$data" separate >> "$work/memory.runs"; done
  row "quorvel --jobs 2 small separate ($n)" "$work/memory.runs" "$n"
done

if [ "${QV_BENCH_MILLION:-0}" = 1 ]; then
  # 1,000,000 records: small.csv's rows a thousand times over ({#} keeps the names apart).
  million="$work/small-1000000.csv"
  head -1 "$inputs/small.csv" > "$million"
  rows="$work/rows"
  tail -n +2 "$inputs/small.csv" > "$rows"
  for _ in $(seq 1000); do cat "$rows"; done >> "$million"
  rm -f "$rows"
  echo
  for mode in separate combined; do
    measure quorvel-j2 "$inputs/small.pdf" "$million" "$mode" "${QV_BENCH_MILLION_OUT:-$work}" > "$work/million.runs"
    row "quorvel --jobs 2 small $mode (1000000)" "$work/million.runs" 1000000
  done
fi
