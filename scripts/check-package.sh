#!/usr/bin/env bash
# Checks a Debian package of the tool the way a distribution would: lintian
# reports no error, the desktop entry and the AppStream data validate, the
# maintainer scripts reload udev, and every installed file is in it.
#
#   scripts/check-package.sh [--cli-only] DEB
#   scripts/check-package.sh [--cli-only] --build-from BUILD_DIR   (runs CPack first)
#
# --cli-only: a tree built with -DTEELINK_GUI=OFF (no window tool, no desktop files).
# Exits 77 when a checking tool is missing (CTest counts that as skipped).
set -euo pipefail

cli_only=0
tree=""
while [ $# -gt 0 ]; do
    case "$1" in
    --cli-only) cli_only=1 ;;
    --build-from) tree=${2:?--build-from needs a build directory}; shift ;;
    *) break ;;
    esac
    shift
done

tools=(dpkg-deb lintian)
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
    usr/lib/udev/rules.d/70-zorvik.rules
    usr/share/doc/teelink/copyright
    usr/share/doc/teelink/changelog.gz
)
if [ "$cli_only" = 0 ]; then
    expected+=(
        usr/bin/teelink
        usr/share/man/man1/teelink.1.gz
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
    gzip -t "$root/usr/share/man/man1/teelink.1.gz" || fail "window tool's manual page is no gzip file"
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

# Errors fail the package; warnings are shown for whoever reads the log.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then
    fail "lintian reports errors"
fi
echo "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors, $(grep -c '^W:' "$work/lintian.log" || true) warnings"

[ "$failed" = 0 ] && echo "package checks passed"
exit "$failed"
