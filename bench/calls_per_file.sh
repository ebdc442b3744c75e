#!/bin/bash
# The system calls a same-disk Move costs per file: a card of FILES camera
# JPEGs (ImageMagick and exiftool make them), one whole `ravlen-run` process
# (preview and run) under `strace -f -c`, the stat-family calls and all calls
# divided by the files. Usage: calls_per_file.sh BUILD_DIR [FILES]
set -euo pipefail
build=$(realpath "${1:?usage: calls_per_file.sh BUILD_DIR [FILES]}")
files=${2:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/card/DCIM/100TEST" "$work/out" "$work/config" "$work/data"
convert -size 64x64 xc:gray "$work/base.jpg"
exiftool -q -overwrite_original -DateTimeOriginal="2024:05:01 12:00:00" -Make=Canon -Model="Canon EOS R6" \
  "$work/base.jpg"
for i in $(seq 1 "$files"); do
  # Each file its own bytes and size, as a card's are.
  f="$work/card/DCIM/100TEST/IMG_$(printf %04d "$i").JPG"
  cp "$work/base.jpg" "$f"
  head -c "$i" /dev/zero >>"$f"
done
# A warm card, written back and read once: a file just written may still
# read as uncached, and from there the walk takes a cold card's road, which
# opens files ahead and checks at each one's turn that its name still leads
# to it (one stat-family call more a file).
sync
cat "$work"/card/DCIM/100TEST/* >/dev/null
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" strace -f -c -o "$work/trace" \
  "$build/src/cli/ravlen-run" --yes AutoDetect=0 SourcePath="$work/card" OutputPath="$work/out" MoveOrCopy=0 \
  FilenameFormat=0 >/dev/null 2>&1
placed=$(find "$work/out" -type f | wc -l)
awk -v files="$files" -v placed="$placed" '
  $NF ~ /^(statx|newfstatat|fstat|lstat|stat)$/ { stats += $4 }
  $NF == "total" { total = $4 }
  END {
    printf "%d files, %d placed\n", files, placed
    printf "stat-family calls per file: %.2f (preview and run)\n", stats / files
    printf "system calls per file: %.2f\n", total / files
  }' "$work/trace"
