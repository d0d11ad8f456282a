#!/bin/sh
# Writes resources/images/outlined/NAME.svg for every resources/images/NAME.svg
# that has text: the same picture with its words drawn as glyph outlines, which
# is what the program embeds (the SVG renderer bundled with wxWidgets skips text).
#
#   scripts/svg-text-to-paths.sh           rewrite the outlined files
#   scripts/svg-text-to-paths.sh --check   only say whether they are up to date
#
# Needs python3-fonttools, libharfbuzz-bin, fontconfig and the fonts the pictures
# name (fonts-noto-cjk). The outlines depend on the installed font versions, so
# the outlined files are kept in the repository and the build does not run this.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
images="$root/resources/images"
out="$images/outlined"

check=0
case "${1-}" in
    "") ;;
    --check) check=1 ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

for tool in hb-shape fc-match; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "svg-text-to-paths: $tool is missing (apt-get install libharfbuzz-bin fontconfig)" >&2
        exit 1
    }
done
python=
for candidate in "${PYTHON-}" python3 /usr/bin/python3; do
    [ -n "$candidate" ] || continue
    if "$candidate" -c 'import fontTools' >/dev/null 2>&1; then
        python=$candidate
        break
    fi
done
[ -n "$python" ] || {
    echo "svg-text-to-paths: needs Python 3 with fontTools (apt-get install python3-fonttools)" >&2
    exit 1
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

stale=0
for source in "$images"/*.svg; do
    grep -q '<text' "$source" || continue
    name=$(basename "$source")
    "$python" "$root/scripts/svg-text-to-paths.py" "$source" "$tmp/$name" >/dev/null
    if [ "$check" = 1 ]; then
        if ! cmp -s "$tmp/$name" "$out/$name"; then
            echo "out of date: resources/images/outlined/$name" >&2
            stale=1
        fi
    else
        mkdir -p "$out"
        mv "$tmp/$name" "$out/$name"
        echo "resources/images/outlined/$name"
    fi
done
exit "$stale"
