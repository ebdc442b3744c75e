#!/bin/sh
# One case of the console runner, run against real temporary folders with a
# private settings store and home folder: runner_test.sh RAVLEN_RUN CASE
set -u
run=$1
case_name=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$HOME" "$work/src" "$work/out"
: > "$work/src/IMG_0001.JPG"
: > "$work/src/IMG_0002.JPG"
cd "$work" || exit 1

fail() { echo "FAIL: $*"; echo "--- stdout"; cat out.txt; echo "--- stderr"; cat err.txt; exit 1; }
# expect STATUS ARGS...: runs the runner and checks its exit status.
expect() {
    want=$1; shift
    "$run" "$@" > out.txt 2> err.txt
    got=$?
    [ "$got" -eq "$want" ] || fail "exit status $got, expected $want"
}
has() { grep -qF -- "$2" "$1" || fail "$1 lacks \"$2\""; }
files_in() { ls "$1" | wc -l | tr -d ' '; }

base="SourcePath=src OutputPath=out AutoDetect=0 DateMode=3"
case "$case_name" in
usage)
    # One style: the program's name, lower case, the name given in quotes, no full stop.
    style() { head -n 1 err.txt | grep -qE '^ravlen-run: [a-z][^A-Z]*"'"$1"'"(.*[^.])?$' || fail "style of: $(head -n 1 err.txt)"; }
    expect 2 NoSuchKey=1;           style NoSuchKey
    expect 2 DateMode=4;            style DateMode
    expect 2 ProcessSubfolders;     style ProcessSubfolders
    expect 2 --no-such-option;      style --no-such-option
    expect 2 --settings;            style --settings
    expect 2 --undo;                style --undo
    expect 2 TimeShift=1:00:00;     style TimeShift
    [ ! -e "$XDG_CONFIG_HOME" ] || fail "a usage error touched the settings store"
    ;;
format)
    # The custom format dialog's refusals and questions, before anything is saved or moved.
    expect 2 $base FilenameFormat=4 'Template=%d/%s%e'
    has out.txt "Problem:  Illegal character: /"; has out.txt "Please correct this problem before proceeding."
    expect 2 $base FilenameFormat=4 'DateFormat=yyyy-mm-dd hh:nn';  has out.txt "Illegal character: :"
    expect 1 $base FilenameFormat=4 Template=holiday
    has out.txt "Are you sure you want to use this filename format?"; has out.txt "[No]"
    [ ! -e "$XDG_CONFIG_HOME" ] && [ "$(files_in src)" = 2 ] || fail "a refused format saved or moved something"
    expect 0 --yes $base RequestConfirmation=0 FilenameFormat=4 'Template=%d%s%e'
    has out.txt "Template does not include Batch"; has out.txt "[Yes]"
    [ "$(files_in out)" = 2 ] || fail "files not placed"
    ;;
datefolders)
    # A format that cannot be used ends the run before anything is saved or moved.
    expect 2 $base DateFolders=1 'DateFolderFormat=yyyy/hh:nn'
    has out.txt "Problem:  Illegal character: :"
    expect 2 $base DateFolders=1 'DateFolderFormat=yyyy/Summer'
    has out.txt 'Problem:  Letters that are not date codes: "Su", "er"'
    [ ! -e "$XDG_CONFIG_HOME" ] && [ "$(files_in src)" = 2 ] || fail "a refused format saved or moved something"
    expect 0 $base RequestConfirmation=0 CreateLog=2 DateFolders=1 'DateFolderFormat="Day "yyyy-mm-dd'
    day="out/Day $(date +%Y-%m-%d)"
    [ "$(files_in "$day")" = 2 ] || fail "files not in $day"
    expect 0 --yes --undo out/*.csv
    [ ! -e "$day" ] && [ "$(files_in src)" = 2 ] || fail "the undo left the date folder or the files"
    ;;
pictures)
    # An empty OutputPath is the Pictures folder, as --help promises.
    expect 0 SourcePath=src OutputPath= AutoDetect=0 DateMode=3 RequestConfirmation=0
    [ "$(files_in "$HOME/Pictures")" = 2 ] || fail "files not in the Pictures folder"
    ;;
help)
    expect 0 --help
    has out.txt "Exit status"; has out.txt "$XDG_CONFIG_HOME/Ravlen"
    cp out.txt help.txt
    [ -z "$(awk 'length > 79' help.txt)" ] || fail "--help is wider than a terminal: $(awk 'length > 79' help.txt)"
    # Every key a run saves is described, with its values.
    expect 1 --settings my.ini $base RequestConfirmation=1
    keys=$(sed -n 's/^\([A-Za-z]*\)=.*/\1/p' my.ini)
    [ "$(echo "$keys" | wc -l)" -ge 40 ] || fail "the store holds too few keys: $keys"
    for key in $keys; do
        grep -qE "^    $key +(text|0 or 1|[0-9]+ to [0-9]+)" help.txt || fail "--help lacks $key"
    done
    ;;
no)
    expect 1 $base RequestConfirmation=1
    has out.txt "Timestamp 2 files?"; has out.txt "[No]"
    [ "$(files_in src)" = 2 ] || fail "files moved after No"
    ;;
success)
    expect 0 --settings my.ini --yes $base RequestConfirmation=1
    has out.txt "[Yes]"; has out.txt "Both files successfully timestamped."
    [ "$(files_in out)" = 2 ] && [ "$(files_in src)" = 0 ] || fail "files not placed"
    has my.ini "DateMode=3"
    ;;
skipped)
    : > src/holiday.jpg
    expect 3 $base DCFMode=1 RequestConfirmation=0
    has out.txt "1  files skipped due to invalid DCF filenames"; has out.txt "(DCFMode=2 for ravlen-run)."
    ;;
protected)
    # A Move that leaves a protected file on the card says so and ends with 3,
    # so that a script does not go on to format the card; a Copy ends with 0.
    : > src/IMG_0003.JPG; chmod a-w src/IMG_0003.JPG
    expect 0 $base MoveOrCopy=1 RequestConfirmation=0 CreateLog=2
    has out.txt "1  files left out as read-only (protected)"; has out.txt "Log: $work/out/"
    rm -f out/*
    expect 3 $base MoveOrCopy=0 CreateLog=0 RequestConfirmation=0
    has out.txt "Both files successfully timestamped."
    has out.txt "1 read-only (protected) file stays in the source folder"
    [ -e src/IMG_0003.JPG ] && [ "$(files_in out)" = 2 ] || fail "the protected file was touched"
    ;;
list)
    # --list changes nothing, and names each file as the run then does (its CSV log).
    mkdir src/sub
    : > src/sub/IMG_0003.JPG; : > "src/IMG_0004 a.JPG"; : > src/holiday.jpg; : > src/.IMG_0005.JPG
    touch -d '2024-07-14 10:11:12' src/IMG_0001.JPG src/IMG_0002.JPG src/sub/IMG_0003.JPG
    keys="$base ProcessSubfolders=2 ExcludeHidden=1 PreviewResults=1 RequestConfirmation=0 CreateLog=2 OutputPath=new"
    expect 3 --list $keys
    [ ! -e new ] && [ ! -e "$XDG_CONFIG_HOME" ] && [ "$(find src -type f | wc -l)" = 6 ] ||
        fail "the list changed something"
    [ ! -s err.txt ] || fail "messages without a question or a check"
    tab=$(printf '\t')
    has out.txt "$work/src/.IMG_0005.JPG$tab$tab$tab${tab}excluded${tab}hidden"
    has out.txt "$work/new/sub/"
    has out.txt "${tab}2024/07/14 10:11:12${tab}File system modified${tab}place$tab"
    grep -v "${tab}excluded$tab" out.txt | cut -f 1-5 | sort > listed.txt
    expect 3 --yes $keys
    [ "$(find new -iname "*.jpg" | wc -l)" = 3 ] || fail "the run did not place the listed files"
    # Each CSV row as a list line: source, new path, date and its source when placed, status.
    cat new/*.csv | tr -d '\r' | awk -v OFS="$tab" '
        function fields(line, f,   n, i, c, q, v) {
            n = 0; v = ""; q = 0
            for (i = 1; i <= length(line); i++) {
                c = substr(line, i, 1)
                if (q && c == "\"" && substr(line, i + 1, 1) == "\"") { v = v c; i++ }
                else if (c == "\"") q = !q
                else if (c == "," && !q) { f[++n] = v; v = "" }
                else v = v c
            }
            f[++n] = v
            return n
        }
        NR == 1 { n = fields($0, h); for (i = 1; i <= n; i++) col[h[i]] = i; next }
        {
            fields($0, f)
            placed = f[col["Timestamped"]] == "Yes"
            print f[col["SourceFolder"]] "/" f[col["SourceFileName"]],
                  placed ? f[col["OutputFolder"]] "/" f[col["OutputFileName"]] : "",
                  placed ? f[col["Date/Time"]] : "", placed ? f[col["DateSource"]] : "", placed ? "place" : "skip"
        }' | sort > logged.txt
    diff listed.txt logged.txt > diff.txt || fail "the list and the log differ: $(cat diff.txt)"
    [ "$(wc -l < logged.txt)" = 5 ] || fail "the log has $(wc -l < logged.txt) files, not 5"
    ;;
cameras)
    # One line per camera of the files the run would place, its offset and its clock's error against
    # GPS; nothing saved or placed.
    command -v exiftool > /dev/null || { echo "exiftool missing: skipped"; exit 0; }
    convert -size 8x8 xc:gray src/IMG_0001.JPG 2> /dev/null || exit 0
    for f in 2 3 4; do cp src/IMG_0001.JPG src/IMG_000$f.JPG; done
    exiftool -q -overwrite_original -Make=Canon '-Model=Canon EOS R5' -SerialNumber=012345 \
        '-DateTimeOriginal=2024:07:14 10:00:00' src/IMG_0001.JPG src/IMG_0002.JPG
    exiftool -q -overwrite_original '-DateTimeOriginal=2024:07:14 09:59:00' src/IMG_0001.JPG
    # The phone's clock 3 min 20 s slow of its GPS, in its zone of +02:00.
    exiftool -q -overwrite_original -Make=Apple '-Model=iPhone 12' '-DateTimeOriginal=2024:07:14 11:00:00' \
        -OffsetTimeOriginal=+02:00 -GPSDateStamp=2024:07:14 -GPSTimeStamp=09:03:20 src/IMG_0003.JPG
    keys="SourcePath=src OutputPath=out AutoDetect=0 DateMode=2 TimeShift=+01:00:00"
    expect 0 --cameras $keys 'CameraOffsets=Apple|iPhone 12|=-00:00:30'
    tab=$(printf '\t')
    [ "$(cat out.txt)" = "Apple${tab}iPhone 12${tab}${tab}1${tab}2024/07/14 11:00:00${tab}2024/07/14 11:00:00${tab}-00:00:30${tab}-00:03:20
Canon${tab}Canon EOS R5${tab}012345${tab}2${tab}2024/07/14 09:59:00${tab}2024/07/14 10:00:00${tab}${tab}" ] || fail "camera lines"
    has err.txt "files that name no camera: 1"
    [ ! -e "$XDG_CONFIG_HOME" ] && [ "$(files_in src)" = 4 ] && [ "$(files_in out)" = 0 ] || fail "--cameras changed something"
    expect 1 --cameras $keys SourcePath=nothere
    ;;
reimport)
    # A card imported twice copies nothing the second time, under another
    # format neither; a different photo of the same name, size and date is placed.
    printf one > src/IMG_0001.JPG; printf two > src/IMG_0002.JPG
    photos() { ls out | grep -vc '^Ravlen Log'; }
    newest_log() { ls -t out/*.csv | head -n 1; }
    copy="$base RequestConfirmation=0 MoveOrCopy=1 CreateLog=2"
    expect 0 $copy;  [ "$(photos)" = 2 ] || fail "the first import placed $(photos) files"
    expect 0 $copy
    has out.txt "0  files successfully timestamped"; has out.txt "2  files skipped as already imported"
    [ "$(grep -c ',No,.*"Already imported","[^"]*","'"$work"'/out",' "$(newest_log)")" = 2 ] || fail "log rows"
    # Seen in a preview, nothing to place is said, and neither asked about nor logged.
    logs=$(ls out | wc -l)
    expect 0 $copy PreviewResults=1 RequestConfirmation=1
    has out.txt "No file needs to be moved or copied."
    ! grep -q "Do you want to proceed" out.txt && [ "$(ls out | wc -l)" = "$logs" ] || fail "asked or logged"
    expect 0 --list $copy FilenameFormat=0;  [ "$(grep -c "${tab:=$(printf '\t')}already-imported" out.txt)" = 2 ] || fail "list"
    expect 0 $copy FilenameFormat=0;  [ "$(photos)" = 2 ] || fail "a new format copied again"
    expect 0 --undo "$(newest_log)" --yes;  [ "$(photos)" = 2 ] || fail "the undo touched files already there"
    touch -r src/IMG_0001.JPG stamp; printf uno > src/IMG_0001.JPG; touch -r stamp src/IMG_0001.JPG
    expect 0 $copy;  [ "$(photos)" = 3 ] || fail "a different photo of the same name was not placed"
    ;;
only)
    # Only the files a script lists are placed; the others stay, logged as not selected.
    expect 2 $base --only;  has err.txt '"--only" needs a file name'
    expect 2 $base --only nowhere.txt;  has err.txt '"nowhere.txt" given to "--only" cannot be read'
    printf 'src/IMG_0002.JPG\n' > chosen.txt
    expect 0 $base --only chosen.txt RequestConfirmation=0 CreateLog=2
    has out.txt "1  files skipped as not selected"
    [ -e src/IMG_0001.JPG ] && [ ! -e src/IMG_0002.JPG ] && [ "$(ls out | grep -vc '^Ravlen Log')" = 1 ] ||
        fail "the unlisted file was placed or the listed one not"
    grep -q 'IMG_0001.JPG.*Not selected' out/*.csv || fail "the unlisted file is not logged"
    ;;
checkcard)
    # Whether the card can be formatted: 3 until each file is in the output
    # folder and the backup (the index file aside), then 0; the card untouched.
    printf one > src/IMG_0001.JPG; printf two > src/IMG_0002.JPG; printf idx > src/CANONMSC.CTG
    keys="SourcePath=src OutputPath=out AutoDetect=0 BackupPaths=bak"
    expect 3 --check-card $keys
    has out.txt "2 files on $work/src are not in $work/out: do not format the card."
    has out.txt "  IMG_0001.JPG: not in the output folder"
    has out.txt "1 file stays on the card, left out by the exclude patterns"
    expect 0 SourcePath=src OutputPath=out AutoDetect=0 DateMode=3 RequestConfirmation=0 MoveOrCopy=1
    has out.txt "Both files successfully timestamped."
    expect 3 --check-card $keys
    has out.txt "  IMG_0002.JPG: no backup ($work/bak)"
    mkdir bak; cp out/* bak/
    expect 0 --check-card $keys
    has out.txt "All 2 files on $work/src are in $work/out and its backups: the card can be formatted."
    [ "$(files_in src)" = 3 ] || fail "the check changed the card"
    ;;
backupfull)
    # A backup disk that fills up half-way: every file reaches the output
    # folder, those the backup lacks stay on the card (even with Move, within
    # one disk), the summary and both logs name them, and the status is 3.
    mkdir bak
    mount -t tmpfs -o size=64k tmpfs bak 2> /dev/null || { echo "SKIP: cannot mount a tmpfs"; exit 0; }
    trap 'umount -l "$work/bak"; rm -rf "$work"' EXIT
    for i in 1 2 3 4 5 6; do head -c 20000 /dev/urandom > "src/IMG_000$i.JPG"; done
    rm src/IMG_0001.JPG src/IMG_0002.JPG  # the empty ones: same bytes
    for i in 1 2; do head -c 20000 /dev/urandom > "src/IMG_000$i.JPG"; done
    cat src/* | sort | md5sum > before.txt
    expect 3 --yes $base RequestConfirmation=0 CreateLog=3 BackupPaths=bak
    has out.txt "has room for 65.5 kB of 120.0 kB. Import with an incomplete backup?"
    has out.txt "files placed without a copy in every backup folder"
    has out.txt "no copy in a backup folder and stayed in the source folder"
    has out.txt "bak: No space left on device"
    left=$(files_in src); backed=$(find bak -type f | wc -l)
    [ "$(ls out | grep -vc '^Ravlen Log')" = 6 ] || fail "not every file reached the output folder"
    [ "$left" -gt 0 ] && [ "$backed" -gt 0 ] && [ $((left + backed)) = 6 ] ||
        fail "$left files left on the card, $backed backed up"
    [ -z "$(find bak -name '.*')" ] || fail "a partial copy was left in the backup"
    [ "$(grep -c 'No space left on device' out/*.csv)" = "$left" ] || fail "the CSV log does not name each file"
    [ "$(grep -c 'No backup copy:' out/*.txt)" = "$left" ] || fail "the text log does not name each file"
    for f in src/*; do grep -qF "$work/$f (" out.txt || fail "the summary does not name $f"; done
    ;;
journal)
    # Two runs without a log, listed and undone from their journals, last first.
    expect 0 $base RequestConfirmation=0 CreateLog=0
    : > src/IMG_0003.JPG
    expect 0 $base RequestConfirmation=0 CreateLog=0
    [ "$(files_in src)" = 0 ] && [ "$(files_in out)" = 3 ] || fail "files not placed"
    expect 0 --runs;  [ "$(wc -l < out.txt)" = 2 ] || fail "--runs listed $(wc -l < out.txt) runs"
    cut -f 3-6 out.txt | head -n 1 | grep -qx "$work/src	$work/out	1	0" || fail "--runs line: $(head -n 1 out.txt)"
    expect 1 --undo-last;  [ "$(files_in src)" = 0 ] || fail "the undo without --yes moved files"
    expect 0 --undo-last --yes;  [ "$(ls src)" = IMG_0003.JPG ] || fail "the last run was not undone first"
    earlier=$("$run" --runs | sed -n 2p | cut -f 1)
    expect 0 --undo-run "$earlier" --yes
    [ "$(files_in src)" = 3 ] || fail "the earlier run was not undone"
    expect 1 --undo-last;  has out.txt "No run of this computer is left to undo."
    expect 2 --undo-run
    # A run that only backs up files imported before: listed with their
    # count, and undone by taking its backup copies away; the files stay.
    mkdir src2 out2 bak && echo one > src2/IMG_0011.JPG && echo two > src2/IMG_0012.JPG
    copy="SourcePath=src2 OutputPath=out2 AutoDetect=0 DateMode=3 RequestConfirmation=0 CreateLog=0 MoveOrCopy=1"
    expect 0 $copy
    expect 0 $copy BackupPaths=bak
    [ "$(find bak -type f | wc -l)" = 2 ] || fail "the backup folder did not catch up"
    expect 0 --runs;  cut -f 5-7 out.txt | head -n 1 | grep -qx "0	0	2" || fail "--runs line: $(head -n 1 out.txt)"
    expect 0 --undo-last --yes
    photos=$(ls out2 | grep -vc '^Ravlen Log')
    [ "$(find bak -type f | wc -l)" = 0 ] && [ "$photos" = 2 ] && [ "$(files_in src2)" = 2 ] ||
        fail "the undo of the backups' catch-up"
    ;;
wait)
    # Ctrl+C while no card has come: status 1 and nothing touched.
    "$run" --wait-for-card --yes $base > out.txt 2> err.txt &
    pid=$!
    tries=0
    until grep -q "Waiting for a camera card or a camera or phone" out.txt || [ $tries -ge 100 ]; do sleep 0.1; tries=$((tries + 1)); done
    kill -INT "$pid"
    wait "$pid"
    got=$?
    [ "$got" -eq 1 ] || fail "exit status $got after Ctrl+C, expected 1"
    [ "$(files_in src)" = 2 ] || fail "files moved without a card"
    ;;
device)
    # A camera on a cable (libgphoto2's Directory Browse over a folder): a
    # Copy, the verdict through the device, the undo that removes copies
    # only while the device holds their originals, and that of a Move,
    # which puts nothing back on it.
    mkdir -p card/DCIM/100TEST; printf one > card/DCIM/100TEST/IMG_0001.JPG; printf two2 > card/DCIM/100TEST/IMG_0002.JPG
    cam="SourcePath=camera:Directory Browse@disk:$work/card"
    keys="OutputPath=out AutoDetect=0 DateMode=3 ProcessSubfolders=1 DCFMode=2"
    "$run" "$cam" $keys RequestConfirmation=0 MoveOrCopy=1 > out.txt 2> err.txt; got=$?
    grep -q "camera driver" out.txt err.txt && { echo "SKIP: no Directory Browse camlib"; exit 0; }
    [ "$got" -eq 0 ] || fail "exit status $got, expected 0"
    [ "$(ls out | grep -vc '^Ravlen Log')" = 2 ] || fail "the device's files were not copied"
    expect 0 --check-card "$cam" $keys
    has out.txt "All 2 files on camera:Directory Browse@disk:$work/card are in $work/out"
    printf three > card/DCIM/100TEST/IMG_0003.JPG
    expect 3 --check-card "$cam" $keys
    has out.txt "  DCIM/100TEST/IMG_0003.JPG: not in the output folder"
    rm card/DCIM/100TEST/IMG_0003.JPG; printf longer > card/DCIM/100TEST/IMG_0002.JPG
    expect 3 --undo-last --yes
    has out.txt "The copy and the original differ in size, so the copy is kept."
    [ "$(ls out | grep -vc '^Ravlen Log')" = 1 ] && [ "$(files_in card/DCIM/100TEST)" = 2 ] ||
        fail "the undo removed the wrong copy, or touched the device"
    rm out/*
    expect 0 "$cam" $keys RequestConfirmation=0 MoveOrCopy=2
    [ "$(files_in card/DCIM/100TEST)" = 0 ] || fail "the Move left files on the device"
    expect 3 --undo-last --yes
    has out.txt "nothing is written back to a device"
    [ "$(ls out | grep -vc '^Ravlen Log')" = 2 ] && [ "$(files_in card/DCIM/100TEST)" = 0 ] ||
        fail "the undo of a Move touched a file"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
