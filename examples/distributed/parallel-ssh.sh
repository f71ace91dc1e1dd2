#!/usr/bin/env bash
# One merge spread over machines reached by SSH, with GNU parallel: share K of N runs on
# whichever host is free, one share per host at a time (each quorvel uses all the host's
# processors itself).
#
#   examples/distributed/parallel-ssh.sh HOSTS SHARES TEMPLATE DATA OUTPUT [merge options...]
#   examples/distributed/parallel-ssh.sh hosts.txt 16 factuur.pdf klanten.csv /shared/uit --pattern 'Factuur-{#}'
#
# HOSTS is a GNU parallel --sshloginfile: one `[user@]host` per line (":" is this machine).
# Every host needs quorvel on its PATH and must see TEMPLATE, DATA and OUTPUT under the same
# absolute paths (a shared file system). Parallel stops the other shares at the first failure
# (--halt now,fail=1); a failed share's files stay, so remove them before running it again.
# With --mode combined, the shares are joined afterwards into OUTPUT/merge-gecombineerd.pdf.
set -euo pipefail
hosts="${1:?hosts file}" shares="${2:?number of shares}" template="${3:?form}" data="${4:?data file}"
output="${5:?output folder}"
shift 5
template="$(realpath -m -- "$template")" data="$(realpath -m -- "$data")" output="$(realpath -m -- "$output")"

# One finished command line per share on parallel's input rather than a command template:
# parallel would read {#} in a pattern as its own job number.
for k in $(seq 1 "$shares"); do
  printf '%q ' quorvel merge --template "$template" --data "$data" --output "$output" --quiet \
    --shard "$k/$shares" "$@"
  echo
done | parallel --sshloginfile "$hosts" --jobs 1 --halt now,fail=1 --line-buffer

if printf '%s\n' "$@" | grep -qx -e combined -e --mode=combined; then
  width=$(( ${#shares} > 3 ? ${#shares} : 3 ))
  count=$(printf "%0${width}d" "$shares")
  # The names sort in record order; an empty share (more shares than records) has no file.
  qpdf --empty --pages "$output"/merge-gecombineerd-*-van-"$count".pdf -- "$output/merge-gecombineerd.pdf"
fi
