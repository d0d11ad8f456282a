#!/usr/bin/env bash
# Checks a Debian package of the tool the way a distribution would: lintian
# reports no error, the desktop entry and the AppStream data validate, the
# maintainer scripts reload udev, and every installed file is in it.
#
#   scripts/check-package.sh [--cli-only] [--release] DEB
#   scripts/check-package.sh [--cli-only] [--release] --build-from BUILD_DIR   (runs CPack first)
#
# --cli-only: a tree built with -DTEELINK_GUI=OFF (no window tool, no desktop files).
# --release: what ships: no lintian warning either, the executables hold the
# maker's update server and neither the demo's address nor an emulator bus,
# and they are hardened (PIE, full RELRO, stack protector, fortified
# functions; control-flow protection is compiled in, but shows in the
# executable only when every object linked into it has it, which Debian's own
# start-up files do not).
# Exits 77 when a checking tool is missing (CTest counts that as skipped).
set -euo pipefail

cli_only=0
release=0
tree=""
while [ $# -gt 0 ]; do
    case "$1" in
    --cli-only) cli_only=1 ;;
    --release) release=1 ;;
    --build-from) tree=${2:?--build-from needs a build directory}; shift ;;
    *) break ;;
    esac
    shift
done

tools=(dpkg-deb lintian readelf strings)
[ -n "$tree" ] && tools+=(cpack dpkg-shlibdeps)
[ "$cli_only" = 0 ] && tools+=(desktop-file-validate appstreamcli)
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "$tree" ]; then
    (cd "$tree" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
        { cat "$work/cpack.log"; exit 1; }
    deb=$(ls "$work"/out/teelink_*.deb)
else
    deb=${1:?usage: check-package.sh [--cli-only] DEB | --build-from BUILD_DIR}
fi
echo "checking $deb"
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

root="$work/root"
dpkg-deb -x "$deb" "$root"
id=io.github.zorvik.Teelink
expected=(
    usr/bin/teelink-cli
    usr/share/man/man1/teelink-cli.1.gz
    usr/share/bash-completion/completions/teelink-cli
    usr/lib/udev/rules.d/70-zorvik.rules
    usr/share/doc/teelink/copyright
    usr/share/doc/teelink/changelog.gz
)
if [ "$cli_only" = 0 ]; then
    expected+=(
        usr/bin/teelink
        "usr/share/applications/$id.desktop"
        "usr/share/icons/hicolor/scalable/apps/$id.svg"
        "usr/share/icons/hicolor/48x48/apps/$id.png"
        "usr/share/icons/hicolor/128x128/apps/$id.png"
        "usr/share/icons/hicolor/256x256/apps/$id.png"
        "usr/share/metainfo/$id.metainfo.xml"
    )
fi
for file in "${expected[@]}"; do
    [ -f "$root/$file" ] || fail "missing /$file"
done
gzip -t "$root/usr/share/man/man1/teelink-cli.1.gz" || fail "manual page is no gzip file"
if [ "$cli_only" = 0 ]; then
    gzip -t "$root/usr/share/man/man1/teelink.1.gz" || fail "no manual page of the window tool"
fi

control=$(dpkg-deb -f "$deb")
grep -q '^Depends:.*libc6' <<<"$control" || fail "no dependencies computed from the shared libraries"
grep -q '^ ;' <<<"$control" && fail "description lines joined by a CMake list separator"
dpkg-deb -e "$deb" "$work/control"
for script in postinst postrm; do
    grep -q 'udevadm control --reload-rules' "$work/control/$script" ||
        fail "$script does not reload the udev rules"
done

if [ "$cli_only" = 0 ]; then
    desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop entry"
    appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
        fail "AppStream metadata"
    grep -q 'version="[0-9]' "$root/usr/share/metainfo/$id.metainfo.xml" ||
        fail "metainfo release version not configured"
fi

# The shipped executables: the maker's server, no demo, hardened.
executables=("$root/usr/bin/teelink-cli")
[ "$cli_only" = 0 ] && executables+=("$root/usr/bin/teelink")
if [ "$release" = 1 ]; then
    for exe in "${executables[@]}"; do
        name=$(basename "$exe")
        # Whole outputs are searched: grep -q would end a pipe early.
        strings=$(strings -a "$exe")
        header=$(readelf -h "$exe")
        segments=$(readelf -lW "$exe")
        dynamic=$(readelf -dW "$exe")
        symbols=$(readelf --dyn-syms -W "$exe")
        grep -q 'https://update\.zorvik\.example\.com/r7r8/index\.php' <<<"$strings" ||
            fail "$name does not hold the maker's update server"
        grep -q '127\.0\.0\.1:8750' <<<"$strings" && fail "$name holds the demo's server address"
        grep -q 'teelink-hid-bus' <<<"$strings" && fail "$name holds an emulator bus"
        grep -q 'Type:.*DYN' <<<"$header" || fail "$name is not position-independent"
        grep -q GNU_RELRO <<<"$segments" || fail "$name has no RELRO segment"
        grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$name does not bind at once"
        grep -q '__stack_chk_fail' <<<"$symbols" || fail "$name has no stack protector"
        grep -Eq '__[a-z_]+_chk@' <<<"$symbols" || fail "$name calls no fortified function"
    done
fi

# Errors fail the package (and in a release, warnings too); the rest is shown
# for whoever reads the log.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then
    fail "lintian reports errors"
fi
if [ "$release" = 1 ] && grep -q '^W:' "$work/lintian.log"; then
    fail "lintian reports warnings"
fi
echo "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors, $(grep -c '^W:' "$work/lintian.log" || true) warnings"

[ "$failed" = 0 ] && echo "package checks passed"
exit "$failed"
