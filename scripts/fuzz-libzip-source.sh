#!/usr/bin/env bash
# Debian's source of libzip, unpacked once for the fuzz build, which compiles it
# with the fuzzer's instrumentation (the installed library has none, so the
# package reader's fuzzer could not see into it). Prints the source folder.
#   scripts/fuzz-libzip-source.sh     (TEELINK_FUZZ_CACHE: where; ~/.cache/teelink-fuzz)
set -euo pipefail
cache=${TEELINK_FUZZ_CACHE:-$HOME/.cache/teelink-fuzz}
mkdir -p "$cache"
cd "$cache"
if [ ! -f libzip/lib/zip.h ]; then
    # deb-src must be configured; the download needs no privileges of its own.
    apt-get source --download-only libzip >&2
    dsc=$(find . -maxdepth 1 -name 'libzip_*.dsc' | sort -V | tail -n 1)
    [ -n "$dsc" ] || { echo "fuzz-libzip-source: no libzip source package" >&2; exit 1; }
    rm -rf libzip.unpacking
    dpkg-source -x "$dsc" libzip.unpacking >&2
    rm -rf libzip
    mv libzip.unpacking libzip
fi
echo "$cache/libzip"
