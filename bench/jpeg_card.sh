# Sourced by the bench scripts that time one ravlen-run process over a warm
# card of camera JPEGs. make_jpeg_card FILES SIZE [EXIFTOOL_TAG=VALUE...]
# makes "$work" (removed on exit) holding card/DCIM/100TEST with FILES
# JPEGs of SIZE pixels (ImageMagick), each tagged by exiftool and given its
# own bytes and size as a card's files are, and empty out, config and data
# folders; the card is written back and read once, as a warm card is: a
# file just written may still read as uncached, and from there the walk
# takes a cold card's road.
make_jpeg_card() {
  local files=$1 size=$2 i f
  shift 2
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/card/DCIM/100TEST" "$work/out" "$work/config" "$work/data"
  convert -size "$size" xc:gray "$work/base.jpg"
  exiftool -q -overwrite_original "$@" "$work/base.jpg"
  for i in $(seq 1 "$files"); do
    f="$work/card/DCIM/100TEST/IMG_$(printf %04d "$i").JPG"
    cp "$work/base.jpg" "$f"
    head -c "$i" /dev/zero >>"$f"
  done
  sync
  cat "$work"/card/DCIM/100TEST/* >/dev/null
}
