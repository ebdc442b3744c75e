#!/bin/bash
# A freshly inserted card: every pass timed as a whole ravlen-run process with
# nothing of the card cached, against the floors of opening each file and
# reading its first 4 KiB (one request in flight, and 8).
#
# usage: cold_card.sh BUILD_DIR [FILES]   (default 2000 files; run as root)
# The card lives in an ext4 image on a loop device attached with direct I/O
# (so the image's own page cache serves nothing), mounted afresh before each
# run. Where loop devices or mounting are refused, a folder with the page
# cache dropped before each run; where that is refused too, nothing is timed.
set -u
build=$(cd "${1:?usage: cold_card.sh BUILD_DIR [FILES]}" && pwd)
files=${2:-2000}
run=$build/src/cli/ravlen-run
floor=$build/bench/cold_floor
work=$(mktemp -d "${TMPDIR:-/tmp}/ravlen-cold.XXXXXX")
dev=""
cleanup() {
    mountpoint -q "$work/card" && umount "$work/card"
    [ -n "$dev" ] && losetup -d "$dev"
    rm -rf "$work"
}
trap cleanup EXIT

"$build/bench/ravlen_bench" --files "$files" --repeat 1 --only a --no-copy --no-window --keep --dir "$work" \
    >"$work/build.txt" || { echo "cold_card: the card could not be built"; exit 1; }
made=$(sed -n 's/^card kept in //p' "$work/build.txt")
pristine=$made/pristine
mkdir -p "$work/card"
mode=""
if truncate -s $(( $(du -sm "$pristine" | cut -f1) * 2 + 64 ))M "$work/card.img" &&
   mkfs.ext4 -q -F "$work/card.img" 2>/dev/null &&
   dev=$(losetup --direct-io=on -f --show "$work/card.img" 2>/dev/null) &&
   mount "$dev" "$work/card" 2>/dev/null; then
    mode="loop device with direct I/O, mounted afresh before each run"
    umount "$work/card"
elif [ -w /proc/sys/vm/drop_caches ] && (sync; echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
    mode="folder, page cache dropped before each run"
else
    echo "cold_card: skipped: neither a loop mount nor dropping the page cache is allowed here"
    exit 0
fi

# Lays the card out afresh (a Move empties it) and leaves nothing cached.
fresh() {
    if [ -n "$dev" ]; then
        { mountpoint -q "$work/card" || mount "$dev" "$work/card"; } && rm -rf "$work/card/DCIM" && cp -a "$pristine/DCIM" "$work/card/" &&
            umount "$work/card" && mount "$dev" "$work/card"
    else
        rm -rf "$work/card/DCIM" && cp -a "$pristine/DCIM" "$work/card/" && sync && echo 3 > /proc/sys/vm/drop_caches
    fi
    rm -rf "$work/out" && mkdir "$work/out"
}
cold() {  # mount afresh / drop the cache without laying out again
    if [ -n "$dev" ]; then umount "$work/card" && mount "$dev" "$work/card"; else sync; echo 3 > /proc/sys/vm/drop_caches; fi
    rm -rf "$work/out" && mkdir "$work/out"
}
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
ravlen() {
    "$run" --settings "$work/settings.ini" AutoDetect=0 SourcePath="$work/card/DCIM" OutputPath="$work/out" \
        DisplayWarning=0 SummarizeResults=0 "$@"
}
count=$(find "$pristine/DCIM" -type f ! -iname '*.ctg' | wc -l)

fresh
declare -A t
t[floor1]=$(seconds "$floor" "$work/card/DCIM" 1 4096); cold
t[floor8]=$(seconds "$floor" "$work/card/DCIM" 8 4096); cold
t[preview]=$(seconds ravlen PreviewResults=1)  # the question after the preview is answered No
if command -v exiv2 >/dev/null; then cold; t[exiv2]=$(seconds sh -c "find '$work/card/DCIM' -type f -name '*.JPG' -exec exiv2 -g DateTimeOriginal -q {} +"); fi
fresh
t[move]=$(seconds ravlen --yes PreviewResults=0 RequestConfirmation=0 MoveOrCopy=0)
fresh
t[copy]=$(seconds ravlen --yes PreviewResults=0 RequestConfirmation=0 MoveOrCopy=1)
moved=$(find "$work/out" -type f | wc -l)

echo "cold card: $count files ($mode)"
printf '%-44s %8s %10s %9s %9s\n' measure seconds files/s "x 1-floor" "x 8-floor"
for k in floor1 floor8 preview exiv2 move copy; do
    [ -n "${t[$k]:-}" ] || continue
    case $k in
        floor1) label="open + read 4 KiB, 1 in flight" ;;
        floor8) label="open + read 4 KiB, 8 in flight" ;;
        preview) label="ravlen-run preview pass" ;;
        exiv2) label="exiv2 DateTimeOriginal of each JPEG" ;;
        move) label="ravlen-run Move to another file system" ;;
        copy) label="ravlen-run Copy pass" ;;
    esac
    # Ratios of files per second: above 1 is faster than the floor.
    printf '%-44s %8.3f %10.0f %9.2f %9.2f\n' "$label" "${t[$k]}" "$(echo "$count / ${t[$k]}" | bc -l)" \
        "$(echo "${t[floor1]} / ${t[$k]}" | bc -l)" "$(echo "${t[floor8]} / ${t[$k]}" | bc -l)"
done
[ "$moved" -eq "$count" ] || { echo "cold_card: the Copy pass placed $moved of $count files"; exit 1; }
