#!/bin/bash
# Import rate from a device: a ravlen-run Copy from libgphoto2's Directory
# Browse camera over a generated card, as a ratio of its files per second to
# `gphoto2 --get-all-files` from the same device into the same disk followed
# by one `sync`, timed in turn, the median of the ratios printed. Directory
# Browse reads no part of a file: each file is downloaded once, for its
# dates, and copied from that download.
#
# usage: device_rate.sh BUILD_DIR [FILES] [REPEATS]   (default 2000 files, 3 repeats)
set -u
build=$(cd "${1:?usage: device_rate.sh BUILD_DIR [FILES] [REPEATS]}" && pwd)
files=${2:-2000}
repeats=${3:-3}
command -v gphoto2 >/dev/null || { echo "device_rate: gphoto2 is not installed; skipped"; exit 0; }
work=$(mktemp -d "${TMPDIR:-/tmp}/ravlen-device.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/bench/ravlen_bench" --files "$files" --repeat 1 --only a --no-copy --no-window --keep --dir "$work" \
    >"$work/build.txt" || { echo "device_rate: the card could not be built"; exit 1; }
card=$(sed -n 's/^card kept in //p' "$work/build.txt")/pristine
count=$(gphoto2 --camera "Directory Browse" --port "disk:$card" --list-files 2>/dev/null | grep -c '^#')
mb=$(du -sm "$card" | cut -f1)

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
# Each side of each pass writes into a folder of its own, made before the
# timing and removed only at the end: a disk whose thousands of files were
# removed a moment before makes every new file look for a free inode among
# the freshly freed ones (ext4 without a journal), a cost no import pays on a
# photographer's disk and that falls on either side by chance.
floor() { (cd "$work/out-g$1" && gphoto2 --camera "Directory Browse" --port "disk:$card" --get-all-files) && sync; }
ravlen() {
    XDG_DATA_HOME="$work/data$1" "$build/src/cli/ravlen-run" --settings "$work/settings.ini" AutoDetect=0 \
        "SourcePath=camera:Directory Browse@disk:$card" OutputPath="$work/out-r$1" ProcessSubfolders=1 MoveOrCopy=1 \
        DisplayWarning=0 SummarizeResults=0 PreviewResults=0 RequestConfirmation=0 CreateLog=3 SkipImported=0
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

r=()
for ((i = 0; i < repeats; i++)); do
    mkdir -p "$work/out-g$i" "$work/out-r$i" && sync
    # Taken in turn which side goes first: the second finds the device's
    # files in the page cache either way.
    if ((i % 2 == 0)); then tf=$(seconds floor $i); t=$(seconds ravlen $i)
    else t=$(seconds ravlen $i); tf=$(seconds floor $i); fi
    placed=$(find "$work/out-r$i" -type f ! -name '*.txt' ! -name '*.csv' | wc -l)
    printf 'pass %d: ravlen %.2f s (%d files placed), gphoto2 --get-all-files + sync %.2f s\n' $((i + 1)) "$t" "$placed" "$tf"
    r+=("$(echo "$tf / $t" | bc -l)")
done
printf '%d files the device lists (%d MB): ravlen-run Copy at %.2f x the files per second of gphoto2 --get-all-files + sync (median of %d)\n' \
    "$count" "$mb" "$(printf '%s\n' "${r[@]}" | median)" "$repeats"
