#!/usr/bin/env bash
# A file manager's thumbnails through the thumbnail service Xfce and others use (tumbler),
# on a private session bus, with the build's thumbnailer entry and movie type: the picture it
# caches for a movie is cpktool's own thumbnail, pixel for pixel. tumbler makes the output
# file, keeps it open and reads the picture through that handle.
# usage: tumbler_test.sh CPKTOOL DATA_FOLDER FIXTURES
source "$(dirname "$0")/strict.sh"
cpktool=$1 data=$2 fixtures=$3
tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd 2>/dev/null | head -1)
[ -n "$tumblerd" ] || { echo "FAILED: tumbler is not installed"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The service is started by the bus and takes the bus's environment: set before the bus.
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export XDG_DATA_HOME="$work/share" XDG_DATA_DIRS="$work/share:/usr/share" WORK="$work"
export CPKTOOL="$cpktool" FIXTURES="$fixtures"
mkdir -p "$HOME" "$XDG_DATA_HOME/thumbnailers" "$XDG_DATA_HOME/mime/packages"
sed "s|^TryExec=.*|TryExec=$cpktool|; s|^Exec=cpktool|Exec=$cpktool|" \
    "$data/lunavue.thumbnailer" >"$XDG_DATA_HOME/thumbnailers/lunavue.thumbnailer"
cp "$data/lunavue-mime.xml" "$XDG_DATA_HOME/mime/packages/lunavue.xml"
update-mime-database "$XDG_DATA_HOME/mime" >/dev/null 2>&1
dbus-run-session -- bash -c '
set -euo pipefail
status=0
for name in bars-320x224-s16-stereo adpcm-256x224-stereo-32k; do
    movie="$WORK/$name.cpk"
    cp "$FIXTURES/$name.cpk" "$movie"
    uri="file://$movie"
    gdbus call --session -d org.freedesktop.thumbnails.Thumbnailer1 \
        -o /org/freedesktop/thumbnails/Thumbnailer1 \
        -m org.freedesktop.thumbnails.Thumbnailer1.Queue "[\"$uri\"]" "[\"video/x-film-cpk\"]" \
        normal default "uint32 0" >/dev/null
    png="$XDG_CACHE_HOME/thumbnails/normal/$(printf %s "$uri" | md5sum | cut -c1-32).png"
    for _ in $(seq 200); do [ -s "$png" ] && break; sleep 0.1; done
    [ -s "$png" ] || { echo "FAILED: no thumbnail of $name in the cache"; status=1; continue; }
    "$CPKTOOL" thumbnail -s 128 "$movie" "$WORK/want.png"
    if [ "$(convert "$png" rgb:- | md5sum)" = "$(convert "$WORK/want.png" rgb:- | md5sum)" ]; then
        echo "$name: the cached thumbnail is cpktool'"'"'s"
    else
        echo "FAILED: the cached thumbnail of $name is not cpktool'"'"'s"
        status=1
    fi
done
exit $status'
