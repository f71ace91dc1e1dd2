#!/usr/bin/env bash
# Peak memory of whole `quorvel merge` runs against the size of the data file: the shared
# one-page form with its 1,000-record data file repeated to 1,000, 10,000, 100,000 and
# 1,000,000 records, one file per record and one combined file, output on tmpfs.
#
#   bench/memory-bench.sh [BUILD_DIR] [RECORDS...]
#
# BUILD_DIR defaults to build-release (a -DCMAKE_BUILD_TYPE=Release build); RECORDS to
# "1000 10000 100000 1000000". WORK (default /dev/shm/quorvel-memory) holds the data files
# and the output; each output is removed after its run. SHARED is the folder of the benchmark
# forms (default ../shared/bench). With MODES="separate" or "combined" only one mode runs;
# separate output beyond DRY_ABOVE records (default 100000; 0 for never) runs as --dry-run (every
# check, no files: a million one-page files need 24 GB).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-release}
shift || true
records=${*:-1000 10000 100000 1000000}
shared=${SHARED:-$root/../shared/bench}
work=${WORK:-/dev/shm/quorvel-memory}
modes=${MODES:-separate combined}
dry_above=${DRY_ABOVE:-100000}
quorvel=$root/$build/bin/quorvel
[ -x "$quorvel" ] || { echo "no $quorvel: build it first (cmake --build $build --target quorvel_cli)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }
mkdir -p "$work"

# The data file of n records: the header, then the 1,000 records over and over.
data() {
    local n=$1 file=$work/records-$1.csv
    if [ ! -f "$file" ]; then
        head -1 "$shared/small.csv" > "$file.tmp"
        local body; body=$(tail -n +2 "$shared/small.csv")
        local per; per=$(printf '%s\n' "$body" | wc -l)
        local i=0
        while [ $((i + per)) -le "$n" ]; do printf '%s\n' "$body"; i=$((i + per)); done >> "$file.tmp"
        [ "$i" -lt "$n" ] && printf '%s\n' "$body" | head -n $((n - i)) >> "$file.tmp"
        mv "$file.tmp" "$file"
    fi
    echo "$file"
}

any_dry=
printf '%-9s %9s %12s %12s %10s %8s\n' mode records "csv bytes" "peak KiB" "seconds" "growth"
for mode in $modes; do
    first_csv= first_rss=
    for n in $records; do
        csv=$(data "$n")
        size=$(stat -c %s "$csv")
        out=$work/out-$mode-$n
        rm -rf "$out"
        extra=()
        [ "$mode" = separate ] && [ "$dry_above" -gt 0 ] && [ "$n" -gt "$dry_above" ] && extra=(--dry-run)
        /usr/bin/time -f '%M %e' -o "$work/time" "$quorvel" merge --quiet --mode "$mode" \
            --template "$shared/small.pdf" --data "$csv" --output "$out" "${extra[@]}" > /dev/null
        read -r rss seconds < "$work/time"
        rm -rf "$out"
        # Growth: extra peak memory per extra byte of data file, against the smallest run.
        growth=-
        if [ -z "$first_csv" ]; then
            first_csv=$size first_rss=$rss
        else
            growth=$(awk -v r="$rss" -v r0="$first_rss" -v c="$size" -v c0="$first_csv" \
                'BEGIN { printf "%.2f", (r - r0) * 1024 / (c - c0) }')
        fi
        label=$mode
        if [ ${#extra[@]} -gt 0 ]; then label="$mode*" any_dry=1; fi
        printf '%-9s %9s %12s %12s %10s %8s\n' "$label" "$n" "$size" "$rss" "$seconds" "$growth"
    done
done
if [ -n "$any_dry" ]; then echo "* --dry-run"; fi
