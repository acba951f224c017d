#!/usr/bin/env bash
# The movie type as the desktop's file managers find it: with the installed type definition,
# every layout the player reads is recognised by its content alone (renamed .bin), and what
# only shares the start of one (a 3DO stream's FILM chunk, an archive, a text) is not.
# usage: mime_test.sh DATA_FOLDER FIXTURES
source "$(dirname "$0")/strict.sh"
data=$1 fixtures=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$data/lunavue-mime.xml" "$work/mime/packages/lunavue.xml"
update-mime-database "$work/mime" >/dev/null 2>&1
type_of() { XDG_DATA_HOME="$work" gio info -a standard::content-type "$1" | sed -n 's/.*content-type: //p'; }
status=0
for f in "$fixtures"/*.cpk "$fixtures"/variants/*.cpk; do
    cp "$f" "$work/movie.bin"
    got=$(type_of "$work/movie.bin")
    echo "$(basename "$f") as .bin: $got"
    [ "$got" = video/x-film-cpk ] || status=1
done
printf 'FILM\0\0\0\x40\0\x02\0\0\0\0\0\0FHDR' >"$work/stream.bin"
head -c 100 /dev/zero >>"$work/stream.bin"
printf 'CPK \xff\0\0\0' >"$work/archive.bin"
head -c 2000 /dev/urandom >>"$work/archive.bin"
echo "not a movie" >"$work/text.bin"
for f in stream archive text; do
    got=$(type_of "$work/$f.bin")
    echo "$f.bin: $got"
    [ "$got" != video/x-film-cpk ] || status=1
done
exit $status
