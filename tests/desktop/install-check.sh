#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the installed tree with the desktop's own
# tools: the executables run, the menu entry, the metainfo and the file types validate, both
# manual pages render, and a MIME database built from a copy of the system's definitions plus
# Tarvex's assigns the right types to module and list files.
# Usage: tests/desktop/install-check.sh BUILD_DIR SOURCE_DIR
# Exit status 77 (skipped) when a tool is missing outside CI.
set -euo pipefail
build=$1
source=$2

for tool in desktop-file-validate appstreamcli xmllint man update-mime-database gio; do
  if ! command -v "$tool" >/dev/null; then
    echo "install-check: $tool is missing (scripts/install-deps installs it)" >&2
    if [ -n "${CI:-}" ]; then exit 1; fi
    exit 77
  fi
done
system_mime=/usr/share/mime/packages/freedesktop.org.xml
if [ ! -f "$system_mime" ]; then
  echo "install-check: $system_mime is missing (package shared-mime-info)" >&2
  if [ -n "${CI:-}" ]; then exit 1; fi
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
must_exist() {
  for f in "$@"; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
  done
}

share=share
app=org.brennwerks.Tarvex
must_exist bin/tarvex bin/tarvex-cli "$share/applications/$app.desktop" \
  "$share/metainfo/$app.metainfo.xml" "$share/mime/packages/tarvex.xml" \
  "$share/man/man1/tarvex.1.gz" "$share/man/man1/tarvex-cli.1.gz" \
  "$share/icons/hicolor/scalable/apps/tarvex.svg"
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/$share/icons/hicolor/${size}x${size}/apps/tarvex.png"
  if [ ! -f "$png" ]; then
    fail "no ${size}x${size} icon"
    continue
  fi
  # PNG width and height, big-endian at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%d %d", $3 * 256 + $4, $7 * 256 + $8 }')
  [ "$dims" = "$size $size" ] || fail "the ${size}x${size} icon is $dims"
done

# The executables run from the installed place.
version=$(awk -F'[ ()]+' '/^project\(Tarvex VERSION/ { print $4 }' "$source/CMakeLists.txt")
[ "$("$prefix/bin/tarvex-cli" --version)" = "$version" ] || fail "tarvex-cli --version is not $version"
[ "$("$prefix/bin/tarvex" --version)" = "$version" ] || fail "tarvex --version is not $version"
# Whole outputs first: grep -q stops reading at its match, and the writer would die of SIGPIPE.
info=$("$prefix/bin/tarvex-cli" info "$source/examples/demo.mod")
grep -q '^Title: *tarvex demo$' <<<"$info" || fail "tarvex-cli info does not read the demo song"
help=$("$prefix/bin/tarvex" --help)
grep -q 'Tarvex.conf' <<<"$help" || fail "tarvex --help names no settings file"

desktop-file-validate "$prefix/$share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$prefix/$share/metainfo/$app.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; fail "appstreamcli validate"; }
xmllint --noout "$prefix/$share/mime/packages/tarvex.xml" || fail "xmllint of the MIME package"

# Both pages render without a warning, and each names what the programs' --help names.
for page in tarvex tarvex-cli; do
  if ! MANWIDTH=80 man --warnings -l "$prefix/$share/man/man1/$page.1.gz" >"$work/$page.txt" 2>"$work/$page.err" ||
    [ -s "$work/$page.err" ]; then
    cat "$work/$page.err" >&2
    fail "man -l $page.1.gz"
  fi
done
for term in --device --fallback-device --waveout --buffer --rate --bits --channels --isp --click --wide \
  --clipping --loops --preamp --max-seconds --json --patterns --note --output SDL_AUDIODRIVER; do
  grep -q -- "$term" "$work/tarvex-cli.txt" || fail "tarvex-cli.1 lacks $term"
done
for term in TARVEX_DEVICE Tarvex.conf PlayerFrequenzy LoopsAllowed Escape PlayPause; do
  grep -q -- "$term" "$work/tarvex.txt" || fail "tarvex.1 lacks $term"
done

# A MIME database from the system's definitions and Tarvex's, in a directory of its own.
mime="$work/mime"
mkdir -p "$mime/share/mime/packages" "$mime/home" "$work/files"
cp "$system_mime" "$prefix/$share/mime/packages/tarvex.xml" "$mime/share/mime/packages/"
update-mime-database "$mime/share/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log" >&2; fail "update-mime-database"; }
type_of() {
  XDG_DATA_HOME="$mime/home" XDG_DATA_DIRS="$mime/share" gio info -a standard::content-type "$1" 2>/dev/null |
    sed -n 's/^ *standard::content-type: //p'
}
# A file of 1084 bytes with the given signature at offset 1080.
with_signature() {
  head -c 1080 /dev/zero >"$1"
  printf '%s' "$2" >>"$1"
}
files="$work/files"
head -c 20 /dev/zero >"$files/song.stm"
printf '!Scream!\032\002\000\000' >>"$files/song.stm"
head -c 1200 /dev/zero >>"$files/song.stm"
printf '%s\n' a.mod b.s3m >"$files/party.lst"
cp "$source/examples/demo.mod" "$files/song.mod"
printf 'Extended Module: ' >"$files/song.xm"
head -c 400 /dev/zero >>"$files/song.xm"
printf 'IMPM' >"$files/song.it"
head -c 400 /dev/zero >>"$files/song.it"
with_signature "$files/song.wow" "M.K."
with_signature "$files/song.nst" "M.K."
for signature in FLT4 FLT8 4CHN 6CHN 8CHN CD81 OKTA 16CH 32CN; do
  with_signature "$files/$signature.bin" "$signature"
done
with_signature "$files/XXXX.bin" "XXXX"
while read -r file want; do
  got=$(type_of "$files/$file")
  [ "$got" = "$want" ] || fail "$file is typed '$got', expected $want"
done <<EOF
song.stm audio/x-stm
song.xm audio/x-xm
song.it audio/x-it
party.lst audio/x-tarvex-list
song.mod audio/x-mod
song.wow audio/x-wow
song.nst audio/x-nst
FLT4.bin audio/x-mod
FLT8.bin audio/x-mod
4CHN.bin audio/x-mod
6CHN.bin audio/x-mod
8CHN.bin audio/x-mod
CD81.bin audio/x-mod
OKTA.bin audio/x-mod
16CH.bin audio/x-mod
32CN.bin audio/x-mod
XXXX.bin application/octet-stream
EOF

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "install-check: all checks passed"
