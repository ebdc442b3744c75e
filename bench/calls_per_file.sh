#!/bin/bash
# The system calls a same-disk Move costs per file: a card of FILES camera
# JPEGs (ImageMagick and exiftool make them), one whole `ravlen-run` process
# (preview and run) under `strace -f -c`, the stat-family calls and all calls
# divided by the files. Usage: calls_per_file.sh BUILD_DIR [FILES]
set -euo pipefail
build=$(realpath "${1:?usage: calls_per_file.sh BUILD_DIR [FILES]}")
files=${2:-1000}
# Warm: the cold card's road opens files ahead and checks at each one's turn
# that its name still leads to it (one stat-family call more a file).
source "$(dirname "$0")/jpeg_card.sh"
make_jpeg_card "$files" 64x64 -DateTimeOriginal="2024:05:01 12:00:00" -Make=Canon -Model="Canon EOS R6"
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
