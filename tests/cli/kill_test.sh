#!/bin/sh
# A run killed at a chosen point of a placement (kill_test.sh RAVLEN_RUN
# STOP_AT.so CASE [BATCH]), then the next run and the undo: every original
# exists exactly once, byte for byte, and nothing partial is left anywhere.
# BATCH, when given, is the number of files a batch of copies and moves
# commits at: the run gets only the descriptors for that many staged copies.
set -u
if [ -n "${4:-}" ]; then ulimit -n $((128 + 2 * $4)) || { echo "SKIP: cannot lower the descriptor limit"; exit 0; }; fi
run=$1
shim=$2
case_name=$3
# CASE-backup: the same kill with a backup folder beside the card, so on
# another file system than an output on /dev/shm: every original exactly once
# in the output folder and once in the backup folder, or at its source.
backup=
case "$case_name" in *-backup) case_name=${case_name%-backup} backup=1 ;; esac
work=$(mktemp -d)
out_base=$work
case "$case_name" in
*-across)
    # Another file system for the output; skipped when there is none.
    [ "$(stat -c %d /dev/shm 2>/dev/null)" != "$(stat -c %d "$work")" ] || { echo "SKIP: one file system"; exit 0; }
    out_base=$(mktemp -d /dev/shm/ravlen-kill.XXXXXX) ;;
esac
trap 'rm -rf "$work" "$out_base"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$HOME" "$work/card/DCIM"
card=$work/card/DCIM out=$out_base/out
cd "$work" || exit 1
# Singles and RAW+JPEG pairs, so that a batch boundary splits a shot.
for i in 01 02 03 04 05 06 07 08 09 10; do
    head -c $((200000 + ${i#0} * 7919)) /dev/urandom > "$card/IMG_00$i.JPG"
    case $i in 02|05|06|09) head -c $((300000 + ${i#0} * 7919)) /dev/urandom > "$card/IMG_00$i.CR2" ;; esac
done
( cd "$card" && sha256sum -- * | cut -d' ' -f1 | sort ) > originals.txt

fail() { echo "FAIL: $*"; echo "--- stdout"; cat out.txt 2>/dev/null; echo "--- files"; ls -la "$card" "$out" 2>&1; exit 1; }
# The sums of every photo in the listed folders, one per line, sorted.
sums() { for d in "$@"; do [ -d "$d" ] && find "$d" \( -iname '*.jpg' -o -iname '*.cr2' \) -exec sha256sum {} +; done | cut -d' ' -f1 | sort; }
# Every photo in the folders is one of the originals, whole: nothing partial.
only_whole() { sums "$@" | sort -u | comm -23 - originals.txt | grep -q . && fail "a file that is no original: $*"; true; }
# Every original exactly once across the folders.
exactly_once() { sums "$@" | cmp -s - originals.txt || fail "originals not exactly once in $*"; }
no_hidden() { [ -z "$(find "$out" -name '.*' -type f)" ] || fail "a temporary file was left"; }

settings="SourcePath=$card OutputPath=$out AutoDetect=0 DateMode=3 CreateLog=3 RequestConfirmation=0 PreviewResults=0"
backups=
if [ -n "$backup" ]; then
    backup=$work/backup backups=$work/backup
    mkdir -p "$backup"
    settings="$settings BackupPaths=$backup"
fi

# An undo killed while it moves the files back to the card from another file
# system: every original still exists, nothing partial is left
# under an original name (but the one a file system that takes copies only
# under their final names holds unfinished), and a second undo finishes with
# every original exactly once.
case "$case_name" in
undo-*)
    "$run" --yes $settings MoveOrCopy=0 > out.txt 2>&1 || fail "the run before the undo failed"
    log=$(ls "$out"/*.csv)
    want=0 refuse=
    # The second file copied back whole, not yet gone from the output; back,
    # its plan not yet struck out; begun under its final name on the card.
    case "$case_name" in
    undo-linked-across)   stop="after:linkat:2:KILL" ;;
    undo-moved-across)    stop="after:unlink:2:KILL" ;;
    undo-fallback-across) stop="after:openat:2:KILL" refuse=1 want=1 ;;
    *) fail "unknown case $case_name" ;;
    esac
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
    RAVLEN_STOP_AT=$stop RAVLEN_REFUSE=$refuse LD_PRELOAD=$shim "$run" --undo "$log" --yes > out.txt 2>&1
    [ $? -eq 137 ] || fail "the undo was not killed"
    # A complete copy back may stand beside its file until the next undo.
    sums "$card" "$out" | sort -u | grep -Fxf originals.txt | cmp -s - originals.txt || fail "an original is lost"
    [ "$(sums "$card" | comm -23 - originals.txt | wc -l)" -eq $want ] || fail "not the unfinished copies expected"
    "$run" --undo "$log" --yes > out.txt 2>&1 || fail "the second undo failed"
    grep -qF "ended before it finished" out.txt || fail "the second undo did not settle the first"
    exactly_once "$card"
    [ -z "$(sums "$out")" ] || fail "files left in the output folder after the second undo"
    [ -z "$(find "$card" -name '.*' -type f)" ] || fail "a temporary file was left on the card"
    echo "PASS: $case_name"
    exit 0 ;;
esac
mode=0
case "$case_name" in
copy-*|staged-*) mode=1 ;;
esac
stop=
refuse=
case "$case_name" in
move-across)      stop="before:unlink:4:KILL" ;;
moved-across)     stop="after:unlink:4:KILL" ;;
copy-across)      stop="after:linkat:4:KILL" ;;
move-same|move-same-undo) stop="after:renameat2:4:KILL" ;;
# The fourth file's row is in the CSV log (the header is the first write),
# and the plans of the batch's ten files not yet struck out.
logged-same|copy-logged) stop="after:csvwrite:5:KILL" ;;
# The batch's plans written, no file yet moved.
planned-same)     stop="before:renameat2:1:KILL" ;;
copy-term)        stop="before:copywrite:3:TERM" ;;
staged-across)    stop="before:syncfs:1:KILL" ;;
flushed-across)   stop="after:syncfs:1:KILL" ;;
named-across)     stop="before:syncfs:2:KILL" ;;
# A file system that takes copies only under their final names: killed just
# after the third one is created, empty, under its final name.
copy-fallback|move-fallback-across) stop="after:openat:3:KILL" refuse=1 ;;
# There, killed while the batch writes its third copy: each copy is written
# once, under its final name, never first under a hidden one.
staged-fallback-across) stop="before:copy_file_range:3:KILL" refuse=1 ;;
*) fail "unknown case $case_name" ;;
esac

# Under AddressSanitizer the shim is loaded ahead of the sanitizer's runtime,
# which it would otherwise refuse.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
RAVLEN_STOP_AT=$stop RAVLEN_REFUSE=$refuse LD_PRELOAD=$shim "$run" --yes $settings MoveOrCopy=$mode > out.txt 2>&1
status=$?
case "$stop" in
*TERM)
    [ "$status" -eq 3 ] || fail "exit status $status after SIGTERM, expected 3"
    grep -qF "files not attempted due to termination" out.txt || fail "no summary after SIGTERM"
    grep -q . "$out"/*.txt || fail "no text log after SIGTERM" ;;
*)  [ "$status" -eq 137 ] || fail "exit status $status, expected a kill" ;;
esac
# Under final names only whole files, or (where the file system takes copies
# only under their final names) the one the record holds unfinished.
if [ -n "$refuse" ]; then
    case "$case_name" in
    staged-*) [ -z "$(find "$out" -name '.ravlen-partial-*')" ] || fail "a copy staged under a hidden name"; want=1 ;;
    *) want=1 ;;
    esac
    [ "$(sums "$out" | sort -u | comm -23 - originals.txt | wc -l)" -eq $want ] || fail "not the unfinished copies expected"
else
    only_whole "$out" $backups
    no_hidden
    [ -z "$backup" ] || [ -z "$(find "$backup" -name '.*' -type f)" ] || fail "a temporary file was left in the backup"
fi
# The logs stay readable up to the last file done: whole CSV rows, each
# ending its line, and a text log that ends its last line.
header=$(head -n 1 "$out"/*.csv | tr -cd , | wc -c)
awk -v n="$header" '{ if (gsub(/,/, ",") != n || !/\r$/) bad = 1 } END { exit bad }' "$out"/*.csv ||
    fail "a CSV row of the killed run is cut short"
tail -c 2 "$out"/*.txt | od -c | grep -q '\\r  \\n' || fail "the text log ends in the middle of a line"
if [ "$mode" = 1 ]; then exactly_once "$card"; else [ -z "$(sums "$card" "$out" | sort -u | comm -13 - originals.txt)" ] || fail "an original is lost"; fi
# Once recovered, each original once per destination where its source is gone.
[ -z "$backup" ] || [ -z "$(sums "$card" $backups | sort -u | comm -13 - originals.txt)" ] || fail "an original is lost (backup)"

# Or the undo of the killed run's log comes first: it sets right what the run
# left (the moved file it never logged goes back) and undoes the rest.
case "$case_name" in
*-undo)
    "$run" --undo "$out"/*.csv --yes > out.txt 2>&1 || fail "the undo of the killed run failed"
    grep -qF "ended before it finished" out.txt || fail "the undo did not settle the killed run"
    exactly_once "$card"
    [ -z "$(sums "$out")" ] || fail "files left in the output folder after the undo"
    echo "PASS: $case_name"
    exit 0 ;;
esac

# The next run finds what was left, sets it right and places everything.
"$run" --yes $settings MoveOrCopy=$mode > out.txt 2> err.txt || fail "the next run failed"
case "$stop" in
*KILL) grep -qF "The last run ended before it finished" err.txt || fail "the next run did not say so on stderr" ;;
esac
# (In batches of a few files the plans of earlier batches are struck out already.)
kept="4 files its log records as placed kept"
[ -z "${4:-}" ] || kept="its log records as placed kept"
case "$case_name" in
logged-same|copy-logged) grep -qF "$kept" err.txt || fail "the logged files were not kept" ;;
esac
# A backup copy is settled with its file, never left apart from it.
[ -z "$backup" ] || ! grep -qF "Left alone" err.txt || fail "a backup copy was left alone"
no_hidden
only_whole "$out" $backups
# A copy run places every file again; what the killed run left unlogged shows
# as a file the undo below does not take away.
if [ "$mode" = 1 ]; then exactly_once "$card"; else exactly_once "$out"; [ -z "$(sums "$card")" ] || fail "originals left on the card"; fi
[ -z "$backup" ] || exactly_once "$backup"

# Undoing both runs brings everything back to the card, once.
for log in "$out"/*.csv; do
    case "$log" in *undo.csv) continue ;; esac
    "$run" --undo "$log" --yes > out.txt 2>&1 || fail "the undo of $log failed"
done
exactly_once "$card"
[ -z "$(sums "$out")" ] || fail "files left in the output folder after the undo"
echo "PASS: $case_name"
