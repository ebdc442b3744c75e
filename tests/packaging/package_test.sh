#!/bin/sh
# The Debian package as a user gets it, unpacked without root:
#   package_test.sh CPACK BUILD_DIR VERSION
# its file list, dependencies, the validators' verdicts, ravlen-run --help
# and the shell completion of the unpacked programs.
set -u
cpack=$1
build=$2
version=$3
for tool in dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli file bash; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work" > "$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/ravlen_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"

dpkg-deb -c "$deb" | grep -v '/$' | sed 's|^.* \./|/|' | sort > "$work/files"
sort > "$work/expected" <<LIST
/usr/bin/ravlen
/usr/bin/ravlen-run
/usr/share/applications/ravlen.desktop
/usr/share/bash-completion/completions/ravlen-run
/usr/share/doc/ravlen/changelog.gz
/usr/share/doc/ravlen/copyright
/usr/share/icons/hicolor/128x128/apps/ravlen.png
/usr/share/icons/hicolor/16x16/apps/ravlen.png
/usr/share/icons/hicolor/22x22/apps/ravlen.png
/usr/share/icons/hicolor/24x24/apps/ravlen.png
/usr/share/icons/hicolor/256x256/apps/ravlen.png
/usr/share/icons/hicolor/32x32/apps/ravlen.png
/usr/share/icons/hicolor/48x48/apps/ravlen.png
/usr/share/icons/hicolor/64x64/apps/ravlen.png
/usr/share/icons/hicolor/scalable/apps/ravlen.svg
/usr/share/man/man1/ravlen-run.1.gz
/usr/share/man/man1/ravlen.1.gz
/usr/share/metainfo/example.morvane.Ravlen.metainfo.xml
/usr/share/ravlen/Ravlen User Guide.htm
LIST
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the expected list"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libqt6widgets6*libstdc++6*) ;; *) fail "Depends: $depends" ;; esac

lintian --fail-on error "$deb" > "$work/lintian" 2>&1 || { cat "$work/lintian"; fail "lintian found errors"; }

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/ravlen.desktop" || fail "desktop entry"
# Offered by the desktop when a camera card is inserted.
grep -qx 'MimeType=x-content/image-dcf;' "$root/usr/share/applications/ravlen.desktop" || fail "no card media type"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.morvane.Ravlen.metainfo.xml" || fail "metainfo"
for page in ravlen ravlen-run; do
    gzip -t "$root/usr/share/man/man1/$page.1.gz" || fail "manual page $page"
done
zcat "$root/usr/share/man/man1/ravlen-run.1.gz" | grep -q '^ *DateModeFileSystem' || fail "ravlen-run(1) lacks the keys"

export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
"$root/usr/bin/ravlen-run" --help > "$work/help" 2>&1 || { cat "$work/help"; fail "ravlen-run --help"; }
grep -q '^Usage: ravlen-run' "$work/help" || fail "ravlen-run --help printed no usage"
[ ! -e "$XDG_CONFIG_HOME" ] || fail "--help touched the settings store"

# complete LINE: what Tab offers at the end of LINE, one a line.
complete_line() {
    PATH="$root/usr/bin:$PATH" bash -c '
        . "$1"
        COMP_LINE=$2 COMP_POINT=${#2} COMP_WORDBREAKS="\"'"'"'><=;|&(:"
        _ravlen_run ravlen-run
        printf "%s\n" "${COMPREPLY[@]}"' sh "$root/usr/share/bash-completion/completions/ravlen-run" "$1"
}
[ "$(complete_line 'ravlen-run --wa')" = "--wait-for-card" ] || fail "option completion"
[ "$(complete_line 'ravlen-run --yes DateModeF')" = "DateModeFileSystem=" ] || fail "key completion"
[ "$(complete_line 'ravlen-run datemode=' | tr '\n' ' ')" = "1 2 3 " ] || fail "value completion"
mkdir "$work/cards"
[ "$(cd "$work" && complete_line 'ravlen-run SourcePath=ca')" = "cards" ] || fail "folder completion"
echo "PASS"
