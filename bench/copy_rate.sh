#!/bin/bash
# Copy rates: whole ravlen-run passes over a generated card, each as a ratio
# of its files per second to `cp -r` of the same files followed by one `sync`
# (the floor of a copy that is durable when it ends), timed pass by pass in
# turn with the floor, the median of the ratios printed.
#
# usage: copy_rate.sh BUILD_DIR [FILES] [REPEATS] [BASE_BUILD_DIR] [copies]
#   default 300 files (full-size JPEGs and some movies), 3 repeats. With
#   BASE_BUILD_DIR, the same passes of that build are timed too, so that a
#   change shows against the build before it (same-disk Move, preview).
#   "copies" times the two Copy cases alone (with and without a backup).
# Cases: Copy disk -> disk, Move disk -> /dev/shm, Move /dev/shm -> disk,
# Move on one disk (renames), the preview pass, and Copy disk -> disk with a
# backup folder on /dev/shm (its floor: `cp -r` to both, then one `sync`).
set -u
build=$(cd "${1:?usage: copy_rate.sh BUILD_DIR [FILES] [REPEATS] [BASE_BUILD_DIR]}" && pwd)
files=${2:-300}
repeats=${3:-3}
base=${4:+$(cd "$4" && pwd)}
only=${5:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/ravlen-copy.XXXXXX")
shm=$(mktemp -d /dev/shm/ravlen-copy.XXXXXX)
trap 'rm -rf "$work" "$shm"' EXIT
[ "$(stat -c %d "$work")" != "$(stat -c %d "$shm")" ] || { echo "copy_rate: /dev/shm is on the disk; skipped"; exit 0; }

"$build/bench/ravlen_bench" --files "$files" --repeat 1 --only a --no-copy --no-window --keep --dir "$work" \
    >"$work/build.txt" || { echo "copy_rate: the card could not be built"; exit 1; }
pristine=$(sed -n 's/^card kept in //p' "$work/build.txt")/pristine/DCIM
count=$(find "$pristine" -type f | wc -l)
mb=$(du -sm "$pristine" | cut -f1)

# Lays the source out afresh in $1 and empties the output $2, all flushed
# before anything is timed.
backup=  # the backup folder of the case being measured, if any
fresh() {
    rm -rf "$1" "$2" && cp -a "$pristine" "$1" && mkdir -p "$2" && rm -rf "$2" &&
        { [ -z "$backup" ] || { rm -rf "$backup" && mkdir -p "$(dirname "$backup")"; }; } && sync
}
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
ravlen() {  # BUILD SOURCE OUTPUT KEY=VALUE...
    local b=$1 src=$2 out=$3; shift 3
    mkdir -p "$out"  # a preview answered No asks nothing more
    # Each build keeps its records (imports, intents, journals) in the work
    # folder, its own: never the user's, and never another build's.
    XDG_DATA_HOME="$work/data${b//\//_}" "$b/src/cli/ravlen-run" --settings "$work/settings.ini" AutoDetect=0 SourcePath="$src" OutputPath="$out" \
        DisplayWarning=0 SummarizeResults=0 PreviewResults=0 RequestConfirmation=0 CreateLog=3 "$@"
}
floor() { cp -r "$1" "$2" && { [ -z "$backup" ] || cp -r "$1" "$backup"; } && sync; }
# A move's own floor: the same, then the sources removed (on some disks
# removing a file costs milliseconds, which no copy pays).
move_floor() { cp -r "$1" "$2" && sync && rm -rf "$1"; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# One case: SOURCE OUTPUT LABEL KEY=VALUE... ; prints files/s and the median ratio to the floor.
measure() {
    local src=$1 out=$2 label=$3; shift 3
    local r=() rm=() rb=() t tf tm tb i moving=0
    case " $* " in *" MoveOrCopy=0 "*) [ "$(stat -c %d "$(dirname "$src")")" != "$(stat -c %d "$(dirname "$out")")" ] && moving=1 ;; esac
    for ((i = 0; i < repeats; i++)); do
        fresh "$src" "$out"; tf=$(seconds floor "$src" "$out")
        if [ $moving = 1 ]; then fresh "$src" "$out"; tm=$(seconds move_floor "$src" "$out"); fi
        fresh "$src" "$out"; t=$(seconds ravlen "$build" "$src" "$out" "$@")
        r+=("$(echo "$tf / $t" | bc -l)")
        [ $moving = 1 ] && rm+=("$(echo "$tm / $t" | bc -l)")
        if [ -n "$base" ]; then fresh "$src" "$out"; tb=$(seconds ravlen "$base" "$src" "$out" "$@"); rb+=("$(echo "$tb / $t" | bc -l)"); fi
    done
    local ratio; ratio=$(printf '%s\n' "${r[@]}" | median)
    printf '%-36s %9.0f %12.2f' "$label" "$(echo "$count / $t" | bc -l)" "$ratio"
    if [ $moving = 1 ]; then printf ' %12.2f' "$(printf '%s\n' "${rm[@]}" | median)"; else printf ' %12s' -; fi
    [ -n "$base" ] && printf ' %12.2f' "$(printf '%s\n' "${rb[@]}" | median)"
    echo
}

echo "copy rates: $count files, $mb MB; ratios are files/s over those of cp -r + sync (median of $repeats)"
printf '%-36s %9s %12s %12s' case files/s "x cp+sync" "x cp+sync+rm"; [ -n "$base" ] && printf ' %12s' "x base"; echo
measure "$work/card" "$work/out" "Copy, disk to disk" --yes MoveOrCopy=1
if [ "$only" != copies ]; then
    measure "$work/card" "$shm/out" "Move, disk to /dev/shm" --yes MoveOrCopy=0
    measure "$shm/card" "$work/out" "Move, /dev/shm to disk" --yes MoveOrCopy=0
    measure "$work/card" "$work/out" "Move on one disk (renames)" --yes MoveOrCopy=0
    measure "$work/card" "$work/out" "Preview (the question answered No)" PreviewResults=1 RequestConfirmation=1
fi
backup=$shm/backup
# The run's backup folder must exist; the floor's cp -r makes its own.
ravlen_backed() { mkdir -p "$backup"; ravlen "$@"; }
measure_backed() {
    local r=() rb=() t tf tb i
    for ((i = 0; i < repeats; i++)); do
        fresh "$work/card" "$work/out"; tf=$(seconds floor "$work/card" "$work/out")
        fresh "$work/card" "$work/out"; t=$(seconds ravlen_backed "$build" "$work/card" "$work/out" --yes MoveOrCopy=1 BackupPaths="$backup")
        r+=("$(echo "$tf / $t" | bc -l)")
        if [ -n "$base" ]; then
            fresh "$work/card" "$work/out"
            tb=$(seconds ravlen_backed "$base" "$work/card" "$work/out" --yes MoveOrCopy=1 BackupPaths="$backup")
            rb+=("$(echo "$tb / $t" | bc -l)")
        fi
    done
    printf '%-36s %9.0f %12.2f %12s' "Copy, disk to disk + /dev/shm backup" "$(echo "$count / $t" | bc -l)" \
        "$(printf '%s\n' "${r[@]}" | median)" -
    [ -n "$base" ] && printf ' %12.2f' "$(printf '%s\n' "${rb[@]}" | median)"
    echo
}
measure_backed
