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
# The runs' records (imports, intents) start empty and leave the user's alone.
export XDG_DATA_HOME=$work/data

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
ravlen=("$run" --settings "$work/settings.ini" AutoDetect=0 SourcePath="$work/card/DCIM" OutputPath="$work/out"
        DisplayWarning=0 SummarizeResults=0)
count=$(find "$pristine/DCIM" -type f ! -iname '*.ctg' | wc -l)
jpegs=$(find "$pristine/DCIM" -type f -iname '*.jpg' | wc -l)

# Wall-clock seconds and processor seconds (user + system) of one command.
timed() {
    local TIMEFORMAT='%R %U %S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}
# Everything already cached: the floor and the preview in turn, nine times,
# and the median of each (a single warm run of either swings by a third here).
warm_pair() {
    local i floors="" previews=""
    for i in 1 2 3 4 5 6 7 8 9; do
        floors+="$(timed "$floor" "$work/card/DCIM" 1 65536)"$'\n'
        previews+="$(timed "${ravlen[@]}" PreviewResults=1)"$'\n'
    done
    set_t warm64 "$(printf '%s' "$floors" | sort -n | sed -n 5p)"
    set_t warmpreview "$(printf '%s' "$previews" | sort -n | sed -n 5p)"
}
declare -A t c
set_t() { t[$1]=${2% *}; c[$1]=${2#* }; }

fresh
set_t floor1 "$(timed "$floor" "$work/card/DCIM" 1 4096)"; cold
set_t floor8 "$(timed "$floor" "$work/card/DCIM" 8 4096)"; cold
set_t preview "$(timed "${ravlen[@]}" PreviewResults=1)"  # the question after the preview is answered No
# A photographer's record of earlier imports (100,000 files, in other output
# folders), not cached either: the cold preview again. The record must not
# cost a run its whole size.
if command -v sqlite3 >/dev/null; then
    mkdir -p "$work/history/Ravlen"
    sqlite3 "$work/history/Ravlen/imports.sqlite" \
        "PRAGMA journal_mode=WAL;
         CREATE TABLE imported(id INTEGER PRIMARY KEY, path TEXT NOT NULL, size INTEGER NOT NULL, hash TEXT NOT NULL,
          run TEXT NOT NULL, modified INTEGER NOT NULL DEFAULT 0);
         WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)
         INSERT INTO imported(path, size, hash, run) SELECT '/home/photos/' || (i / 500) || '/IMG_' || i || '.JPG',
          100000 + i % 50000, '', '2025/06/01 10:00:00' FROM n;
         CREATE INDEX imported_size_path ON imported(size, path); CREATE INDEX imported_path_size ON imported(path, size);" >/dev/null
    cold; dd if="$work/history/Ravlen/imports.sqlite" iflag=nocache count=0 status=none
    set_t history "$(XDG_DATA_HOME=$work/history timed "${ravlen[@]}" PreviewResults=1 RequestConfirmation=1)"
fi
if command -v exiv2 >/dev/null; then
    cold; set_t exiv2 "$(timed sh -c "find '$work/card/DCIM' -type f -iname '*.JPG' -exec exiv2 -g Exif.Photo.DateTimeOriginal -Pv -q {} +")"
fi
# Warm: the card's files all in the page cache.
"$floor" "$work/card/DCIM" 1 65536 >/dev/null
warm_pair
# A Move within the card's file system, against reading the files (8 in
# flight, or 64 KiB one at a time, as a renamer reads them) and then renaming
# them, one after the other, from cold.
cold; set_t sameread64 "$(timed "$floor" "$work/card/DCIM" 1 65536)"
cold; mkdir "$work/card/floor-moved"
set_t sameread "$(timed "$floor" "$work/card/DCIM" 8 4096)"
set_t samerename "$(timed "$floor" --rename "$work/card/DCIM" "$work/card/floor-moved")"
rm -rf "$work/card/floor-moved"  # before the card is laid out again: both would not fit
fresh; rm -rf "$work/card/moved"; mkdir "$work/card/moved"; cold
set_t samemove "$(timed "${ravlen[@]}" --yes PreviewResults=0 RequestConfirmation=0 MoveOrCopy=0 OutputPath="$work/card/moved")"
samemoved=$(find "$work/card/moved" -type f | wc -l)
rm -rf "$work/card/moved"
# exiv2 renaming each JPEG by its DateTimeOriginal, in its own folder.
if command -v exiv2 >/dev/null; then
    fresh; set_t exiv2mv "$(timed sh -c "find '$work/card/DCIM' -type f -iname '*.JPG' -exec exiv2 -q -F -k -r '%Y%m%d_%H%M%S_:basename:' mv {} +")"
    renamed=$(find "$work/card/DCIM" -type f -name '2*_*_*.JPG' | wc -l)
    [ "$renamed" -eq "$jpegs" ] || echo "cold_card: exiv2 mv renamed $renamed of $jpegs JPEG files"
fi
fresh
set_t move "$(timed "${ravlen[@]}" --yes PreviewResults=0 RequestConfirmation=0 MoveOrCopy=0)"
fresh
set_t copy "$(timed "${ravlen[@]}" --yes PreviewResults=0 RequestConfirmation=0 MoveOrCopy=1)"
moved=$(find "$work/out" -type f | wc -l)
# The two walks alone (file dates, nothing read): what listing the card costs
# cold. Last, as ravlen-run keeps the settings it is given.
cold; set_t walks "$(timed "${ravlen[@]}" PreviewResults=1 RequestConfirmation=1 DateMode=3)"

echo "cold card: $count files, $jpegs of them JPEG ($mode)"
printf '%-48s %8s %8s %10s\n' measure seconds "cpu s" files/s
for k in floor1 floor8 preview history walks exiv2 warm64 warmpreview sameread64 sameread samerename samemove exiv2mv move copy; do
    [ -n "${t[$k]:-}" ] || continue
    n=$count
    case $k in
        floor1) label="open + read 4 KiB, 1 in flight" ;;
        floor8) label="open + read 4 KiB, 8 in flight" ;;
        preview) label="ravlen-run preview pass" ;;
        history) label="the same, 100,000 imports recorded" ;;
        walks) label="ravlen-run preview, file dates (walks only)" ;;
        exiv2) label="exiv2 DateTimeOriginal of each JPEG"; n=$jpegs ;;
        warm64) label="warm: open + read 64 KiB, 1 in flight" ;;
        warmpreview) label="warm: ravlen-run preview pass" ;;
        sameread64) label="same disk: read 64 KiB, 1 in flight" ;;
        sameread) label="same disk: read 4 KiB, 8 in flight" ;;
        samerename) label="same disk: then rename into one folder" ;;
        samemove) label="same disk: ravlen-run Move" ;;
        exiv2mv) label="same disk: exiv2 mv of each JPEG"; n=$jpegs ;;
        move) label="ravlen-run Move to another file system" ;;
        copy) label="ravlen-run Copy pass" ;;
    esac
    printf '%-48s %8.3f %8.3f %10.0f\n' "$label" "${t[$k]}" "${c[$k]}" "$(echo "$n / ${t[$k]}" | bc -l)"
done
# Ratios of files per second: above 1 is faster than what it is held against.
ratio() { echo "($1) / ($2)" | bc -l; }
echo "ratios of files per second (goal in brackets):"
printf '  %-58s %5.2f\n' "cold preview / 8-in-flight 4 KiB floor (>= 0.7)" "$(ratio "${t[floor8]}" "${t[preview]}")"
[ -n "${t[exiv2]:-}" ] &&
    printf '  %-58s %5.2f\n' "cold preview / exiv2 (>= 1.5)" "$(echo "($count / ${t[preview]}) / ($jpegs / ${t[exiv2]})" | bc -l)"
printf '  %-58s %5.2f  (processor time %.2f)\n' "warm preview / warm 64 KiB floor (>= 0.8)" \
    "$(ratio "${t[warm64]}" "${t[warmpreview]}")" "$(ratio "${c[warm64]}" "${c[warmpreview]}")"
printf '  %-58s %5.2f\n' "same-disk Move / 8-in-flight 4 KiB read, rename (>= 0.9)" \
    "$(ratio "${t[sameread]} + ${t[samerename]}" "${t[samemove]}")"
printf '  %-58s %5.2f\n' "same-disk Move / 64 KiB read one at a time, rename (>= 0.9)" \
    "$(ratio "${t[sameread64]} + ${t[samerename]}" "${t[samemove]}")"
[ -n "${t[exiv2mv]:-}" ] &&
    printf '  %-58s %5.2f\n' "same-disk Move / exiv2 mv" "$(echo "($count / ${t[samemove]}) / ($jpegs / ${t[exiv2mv]})" | bc -l)"
[ "$samemoved" -eq "$count" ] || { echo "cold_card: the same-disk Move placed $samemoved of $count files"; exit 1; }
[ "$moved" -eq "$count" ] || { echo "cold_card: the Copy pass placed $moved of $count files"; exit 1; }
