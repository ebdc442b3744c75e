#!/bin/bash
# What the camera's symbols cost a preview: a warm card of FILES JPEGs of one
# body (make, model, serial, lens, artist, sub-seconds), `ravlen-run --list`
# with the default custom template and with one using every new symbol,
# counted in instructions by callgrind (the same count on every run, however
# busy the machine). Usage: template_cost.sh BUILD_DIR [FILES]
set -euo pipefail
build=$(realpath "${1:?usage: template_cost.sh BUILD_DIR [FILES]}")
files=${2:-2000}
source "$(dirname "$0")/jpeg_card.sh"
make_jpeg_card "$files" 320x240 -DateTimeOriginal="2024:05:01 12:00:00" -SubSecTimeOriginal=42 -Make=Canon \
  -Model="Canon EOS R6" -SerialNumber=012345678 -LensModel="RF24-105mm F4 L IS USM" -Artist="Ann Example"
count() {
  cat "$work"/card/DCIM/100TEST/* >/dev/null
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" valgrind --tool=callgrind \
    --callgrind-out-file="$work/profile" "$build/src/cli/ravlen-run" --yes --list AutoDetect=0 \
    SourcePath="$work/card" OutputPath="$work/out" FilenameFormat=4 "Template=$1" JobCode=Wedding \
    2>&1 >/dev/null | awk '/Collected/ { gsub(",", "", $4); print $4 }'
}
plain=$(count '%d%s%b%v%o%e')
every=$(count '%d%s%b%v%o_%c_%n_%l_%a_%j_%q%e')
awk -v p="$plain" -v e="$every" -v n="$files" 'BEGIN {
  printf "%d files: %s instructions with %%d%%s%%b%%v%%o%%e, %s with every symbol: %+.1f%%\n", n, p, e, (e / p - 1) * 100 }'
