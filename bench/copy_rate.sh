#!/bin/bash
# Copy rates: whole ravlen-run passes over a generated card, each as a ratio
# of its files per second to `cp -r` of the same files followed by one `sync`
# (the floor of a copy that is durable when it ends), timed pass by pass in
# turn with the floor, the median of the ratios printed.
#
# usage: copy_rate.sh [--removing] BUILD_DIR [FILES] [REPEATS] [BASE_BUILD_DIR] [copies]
#   default 300 files (full-size JPEGs and some movies), 3 repeats. With
#   BASE_BUILD_DIR, the same passes of that build are timed too, so that a
#   change shows against the build before it (same-disk Move, preview).
#   "copies" times the two Copy cases alone (with and without a backup).
# Every timed pass (floor or run) gets a card copied anew for it and output
# and backup folders of its own, and nothing is removed until the script
# ends: a file removed just before a pass makes that pass's new files slower
# to create on some file systems (ext4 without a journal skips the inodes it
# freed in the last 30 s), unevenly for the two sides. --removing times the
# old way instead: one card and one output folder, removed and laid out
# again right before each pass.
# Cases: Copy disk -> disk, Move disk -> /dev/shm, Move /dev/shm -> disk,
# Move on one disk (renames), the preview pass, and Copy disk -> disk with a
# backup folder on /dev/shm (its floor: `cp -r` to both, then one `sync`).
set -u
removing=0
[ "${1:-}" = --removing ] && { removing=1; shift; }
build=$(cd "${1:?usage: copy_rate.sh [--removing] BUILD_DIR [FILES] [REPEATS] [BASE_BUILD_DIR] [copies]}" && pwd)
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

# The next pass's card, laid out in the folder $1 and flushed before anything
# is timed; its output folder goes in $2 (and its backup folder in
# $backup_top when a case has one): sets src, out and bk. Nothing is
# removed, but with --removing, where they are the same folders each pass.
backup_top=  # where the backup folders of the case being measured go, if any
pass=0
next_pass() {
    pass=$((pass + 1))
    local n=$pass
    [ $removing = 1 ] && n=
    src=$1/card$n out=$2/out$n bk=${backup_top:+$backup_top/backup$n}
    if [ $removing = 1 ]; then
        rm -rf "$src" "$out" && { [ -z "$bk" ] || rm -rf "$bk"; }
    fi
    cp -a "$pristine" "$src" && sync
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
floor() { cp -r "$1" "$2" && { [ -z "$bk" ] || cp -r "$1" "$bk"; } && sync; }
# A move's own floor: the same, then the sources removed (on some disks
# removing a file costs milliseconds, which no copy pays).
move_floor() { cp -r "$1" "$2" && sync && rm -rf "$1"; }
# What a case left in /dev/shm goes when it ends: memory, not the disk whose
# new files are timed.
case_done() { [ $removing = 1 ] || rm -rf "${shm:?}"/*; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# Room for every pass's card and output folder, kept to the end.
if [ $removing = 0 ]; then
    cases=5; [ "$only" = copies ] && cases=2
    passes=$((cases * repeats * (${base:+1} + 2)))  # floor, run and base: a card and a copy of it each
    need=$((mb * 2 * passes))
    free=$(df -Pm "$work" | awk 'NR == 2 {print $4}')
    [ "$need" -lt "$free" ] || { echo "copy_rate: about $need MB needed on $work, $free MB free; try --removing"; exit 1; }
fi

# One case: SOURCE_TOP OUTPUT_TOP LABEL KEY=VALUE... ; prints files/s and the
# median ratio to the floor.
measure() {
    local srctop=$1 outtop=$2 label=$3; shift 3
    local r=() rm=() rb=() t tf tm tb i moving=0
    case " $* " in *" MoveOrCopy=0 "*) [ "$(stat -c %d "$srctop")" != "$(stat -c %d "$outtop")" ] && moving=1 ;; esac
    for ((i = 0; i < repeats; i++)); do
        next_pass "$srctop" "$outtop"; tf=$(seconds floor "$src" "$out")
        if [ $moving = 1 ]; then next_pass "$srctop" "$outtop"; tm=$(seconds move_floor "$src" "$out"); fi
        next_pass "$srctop" "$outtop"; t=$(seconds ravlen "$build" "$src" "$out" "$@")
        r+=("$(echo "$tf / $t" | bc -l)")
        [ $moving = 1 ] && rm+=("$(echo "$tm / $t" | bc -l)")
        if [ -n "$base" ]; then next_pass "$srctop" "$outtop"; tb=$(seconds ravlen "$base" "$src" "$out" "$@"); rb+=("$(echo "$tb / $t" | bc -l)"); fi
    done
    local ratio; ratio=$(printf '%s\n' "${r[@]}" | median)
    printf '%-36s %9.0f %12.2f' "$label" "$(echo "$count / $t" | bc -l)" "$ratio"
    if [ $moving = 1 ]; then printf ' %12.2f' "$(printf '%s\n' "${rm[@]}" | median)"; else printf ' %12s' -; fi
    [ -n "$base" ] && printf ' %12.2f' "$(printf '%s\n' "${rb[@]}" | median)"
    echo
    case_done
}

echo "copy rates: $count files, $mb MB; ratios are files/s over those of cp -r + sync (median of $repeats)"
[ $removing = 1 ] && echo "(--removing: each pass's folders removed and laid out again right before it)"
printf '%-36s %9s %12s %12s' case files/s "x cp+sync" "x cp+sync+rm"; [ -n "$base" ] && printf ' %12s' "x base"; echo
measure "$work" "$work" "Copy, disk to disk" --yes MoveOrCopy=1
if [ "$only" != copies ]; then
    measure "$work" "$shm" "Move, disk to /dev/shm" --yes MoveOrCopy=0
    measure "$shm" "$work" "Move, /dev/shm to disk" --yes MoveOrCopy=0
    measure "$work" "$work" "Move on one disk (renames)" --yes MoveOrCopy=0
    measure "$work" "$work" "Preview (the question answered No)" PreviewResults=1 RequestConfirmation=1
fi
backup_top=$shm
# The run's backup folder must exist; the floor's cp -r makes its own.
ravlen_backed() { mkdir -p "$bk"; ravlen "$@" BackupPaths="$bk"; }
measure_backed() {
    local r=() rb=() t tf tb i
    for ((i = 0; i < repeats; i++)); do
        next_pass "$work" "$work"; tf=$(seconds floor "$src" "$out")
        next_pass "$work" "$work"; t=$(seconds ravlen_backed "$build" "$src" "$out" --yes MoveOrCopy=1)
        r+=("$(echo "$tf / $t" | bc -l)")
        if [ -n "$base" ]; then
            next_pass "$work" "$work"
            tb=$(seconds ravlen_backed "$base" "$src" "$out" --yes MoveOrCopy=1)
            rb+=("$(echo "$tb / $t" | bc -l)")
        fi
    done
    printf '%-36s %9.0f %12.2f %12s' "Copy, disk to disk + /dev/shm backup" "$(echo "$count / $t" | bc -l)" \
        "$(printf '%s\n' "${r[@]}" | median)" -
    [ -n "$base" ] && printf ' %12.2f' "$(printf '%s\n' "${rb[@]}" | median)"
    echo
}
measure_backed
