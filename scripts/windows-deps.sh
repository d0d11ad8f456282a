#!/usr/bin/env bash
# Builds the libraries the Windows tool links, from Debian's own source packages,
# with the mingw-w64 cross compiler, into a prefix outside the work tree:
#   $TEELINK_WINDOWS_CACHE/prefix-<key>   (default cache: ~/.cache/teelink-windows)
# The key is a hash of this script and of the source versions, so a second run
# with the same sources and options only prints the prefix. Everything is static:
# the tool ships as one exe that needs no DLLs of ours.
# Prints the prefix on its last line.
set -euo pipefail

self=$(readlink -f "$0")
cache=${TEELINK_WINDOWS_CACHE:-$HOME/.cache/teelink-windows}
jobs=${TEELINK_JOBS:-2}
host=x86_64-w64-mingw32
sources=(wxwidgets3.2 libpng1.6 curl libzip hidapi googletest cli11 libmicrohttpd)

mkdir -p "$cache/src"
cd "$cache/src"

# Debian's source packages: a deb-src stanza beside the deb one, once.
have_sources() {
    local s
    for s in "${sources[@]}"; do
        ls "${s}"_*.orig.tar.* >/dev/null 2>&1 || return 1
    done
}
if ! have_sources; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    if ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        $SUDO tee /etc/apt/sources.list.d/teelink-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    fi
    $SUDO apt-get update -qq
    apt-get source --download-only "${sources[@]}" >/dev/null
fi

# Comments do not count: only what the script does changes the key.
key=$( (grep -v '^[[:space:]]*#' "$self"; ls ./*.orig.tar.*; $host-g++-posix --version | head -1) | sha256sum | cut -c1-12)
prefix="$cache/prefix-$key"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
rm -rf "$prefix" "$cache/work"
mkdir -p "$prefix" "$cache/work"
work="$cache/work"

export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
unpack() { # source name -> directory
    local tarball
    tarball=$(find "$cache/src" -maxdepth 1 -name "${1}_*.orig.tar.*" | sort | head -1)
    mkdir -p "$work/$1"
    tar xf "$tarball" -C "$work/$1" --strip-components=1
    echo "$work/$1"
}
log() { echo "[windows-deps] $*" >&2; }

# A CMake toolchain for the libraries that build with CMake.
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $host-gcc-posix)
set(CMAKE_CXX_COMPILER $host-g++-posix)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$host $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
cmake_lib() { # source dir, cmake args...
    local src=$1; shift
    cmake -S "$src" -B "$src/_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF "$@" >"$src/_build.log" 2>&1 || { tail -40 "$src/_build.log"; exit 1; }
    cmake --build "$src/_build" -j "$jobs" >>"$src/_build.log" 2>&1 || { tail -40 "$src/_build.log"; exit 1; }
    cmake --install "$src/_build" >>"$src/_build.log" 2>&1
}

log "hidapi"
src=$(unpack hidapi)
cmake_lib "$src" -DHIDAPI_WITH_TESTS=OFF

log "googletest"
src=$(unpack googletest)
cmake_lib "$src" -Dgtest_force_shared_crt=ON

log "CLI11 (headers)"
src=$(unpack cli11)
cmake_lib "$src" -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF \
    -DCLI11_PRECOMPILED=OFF

log "libmicrohttpd (the reference server and the test servers; plain HTTP)"
src=$(unpack libmicrohttpd)
(cd "$src" && ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --disable-https --disable-doc --disable-examples --disable-curl --disable-tools \
    --without-gnutls >"$src/_build.log" 2>&1 &&
    make -C src/microhttpd -j "$jobs" >>"$src/_build.log" 2>&1 &&
    make -C src/microhttpd install >>"$src/_build.log" 2>&1 &&
    make -C src/include install >>"$src/_build.log" 2>&1 &&
    make install-pkgconfigDATA >>"$src/_build.log" 2>&1) || { tail -40 "$src/_build.log"; exit 1; }

log "libzip"
src=$(unpack libzip)
cmake_lib "$src" -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
    -DENABLE_ZSTD=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF

log "libpng (for the toolkit's images)"
src=$(unpack libpng1.6)
cmake_lib "$src" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON \
    -DZLIB_LIBRARY=/usr/$host/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$host/include

log "libcurl (HTTP, Schannel)"
src=$(unpack curl)
(cd "$src" && ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --with-schannel --without-openssl --with-zlib=/usr/$host --without-brotli --without-zstd \
    --without-libpsl --without-libidn2 --without-nghttp2 --without-librtmp --without-libssh2 \
    --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet --disable-tftp \
    --disable-pop3 --disable-imap --disable-smb --disable-smtp --disable-gopher --disable-mqtt \
    --disable-manual --disable-docs >"$src/_build.log" 2>&1 &&
    make -C lib -j "$jobs" >>"$src/_build.log" 2>&1 &&
    make -C lib install >>"$src/_build.log" 2>&1 &&
    make -C include install >>"$src/_build.log" 2>&1 &&
    make install-pkgconfigDATA >>"$src/_build.log" 2>&1) || { tail -40 "$src/_build.log"; exit 1; }

log "wxWidgets (wxMSW, only what the tool uses; about ten minutes)"
src=$(unpack wxwidgets3.2)
(cd "$src" && mkdir -p _build && cd _build && CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" ../configure --host=$host --prefix="$prefix" \
    --with-msw --disable-shared --disable-debug_flag --disable-precomp-headers --enable-unicode \
    --disable-html --disable-xrc --disable-aui --disable-stc --disable-webview --disable-mediactrl \
    --disable-richtext --disable-propgrid --disable-ribbon --disable-webrequest --disable-sockets \
    --disable-sound --without-opengl --without-expat --enable-accessibility \
    --with-zlib=sys --with-libpng=sys --without-libjpeg --without-libtiff --without-liblzma \
    --with-regex=builtin >"$src/_build.log" 2>&1 &&
    make -j "$jobs" >>"$src/_build.log" 2>&1 &&
    make install >>"$src/_build.log" 2>&1) || { tail -40 "$src/_build.log"; exit 1; }

rm -rf "$work"
touch "$prefix/.complete"
# Older prefixes of other keys are no longer used.
find "$cache" -maxdepth 1 -name 'prefix-*' ! -path "$prefix" -exec rm -rf {} +
echo "$prefix"
