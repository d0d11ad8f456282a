#!/usr/bin/env bash
# The tool's real device path on a real kernel (./run kernel-test). Debian's
# own kernel boots in QEMU; there a USB HID gadget on the dummy host
# controller is a real USB HID device of the same machine. With the emulated
# device on the gadget's device end and the tool on hidapi and hidraw, the
# guest runs the device-link tests, teelink-cli end to end against the
# reference update server, the window under Xvfb, two gadgets at once and the
# udev rule (scripts/kernel-guest.sh).
#
# The kernel package is fetched with apt-get download and unpacked into
# ~/.cache/teelink-kernel/<release>-<version>, never installed here. The guest
# sees this machine's root read-only under a layer in its own memory, so it
# runs the build tree's binaries as they are and leaves nothing behind; it has
# no network device at all. KVM when it really boots a guest here, full
# emulation (TCG) otherwise.
#
# Ends with "N passed, M failed" and a non-zero status on any failure; 77
# (skipped) when the build cannot take the test.
#   scripts/kernel-test.sh [BUILD_DIR]   (default build/test, the sanitizer build)
#   TEELINK_KERNEL_STAGES=cli,udev ...   only these stages (device-link, cli,
#                                        window, two-gadgets, udev, access, windows;
#                                        linux: all but windows)
#   TEELINK_KERNEL_CPU=MODEL ...         TCG's CPU model instead of the one below
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PATH:/usr/sbin:/sbin"
source_dir=$(pwd)
build=$(realpath "${1:-build/test}")
run_dir=$source_dir/build/kernel-test
results=$run_dir/results
cache=${TEELINK_KERNEL_CACHE:-$HOME/.cache/teelink-kernel}
limit=${TEELINK_KERNEL_TIMEOUT:-1800}
stages=${TEELINK_KERNEL_STAGES:-all}
started=$(date +%s)

# What the guest loads; modules.dep adds what these depend on.
modules=(virtio_pci 9pnet_virtio 9p overlay configfs libcomposite usb_f_hid dummy_hcd usbhid
         hid-generic)

if [[ "$source_dir$build" == *[[:space:]]* ]]; then
    echo "kernel-test: the kernel's command line cannot carry paths with blanks" >&2
    exit 2
fi
if [ ! -x "$build/tests/teelink_device_tests" ]; then
    echo "kernel-test: no test build in $build (./run kernel-test makes one)" >&2
    exit 2
fi
# The window stages need the window tests: a build without windows (the
# sanitizer build of the core) is not one to test the device path with. 77 is
# CTest's "skipped" (SKIP_RETURN_CODE), so a plain ctest there passes and says why.
if [ ! -x "$build/tests/teelink_main_page_tests" ]; then
    echo "kernel-test: skipped: $build has no window tests (a build with TEELINK_GUI=OFF); use the test build" >&2
    exit 77
fi

TEELINK_KERNEL=1 scripts/install-deps.sh
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

# The kernel Debian installs today: the one linux-image-amd64 depends on.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1
}
package=$(kernel_package)
if [ -z "$package" ]; then
    "${sudo_cmd[@]}" apt-get update -qq
    package=$(kernel_package)
fi
version=$(apt-cache show --no-all-versions "$package" | sed -n 's/^Version: //p' | head -1)
release=${package#linux-image-}
kernel_dir=$cache/$release-$version

# Each module after the modules it needs.
declare -A placed=()
load_order=()
place() { # path as modules.dep names it
    local path=$1 dependencies dependency
    if [ -n "${placed[$path]:-}" ]; then
        return
    fi
    placed[$path]=1
    dependencies=$(awk -v path="$path:" '$1 == path { $1 = ""; print }' "$unpacked/modules.dep")
    for dependency in $dependencies; do
        place "$dependency"
    done
    load_order+=("$path")
}

if [ "$(cat "$kernel_dir/ready" 2>/dev/null)" != "${modules[*]}" ]; then
    echo "kernel-test: fetching $package $version"
    fetch_started=$(date +%s)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # apt's note that root downloads without its sandbox user is no news here.
    (cd "$work" && apt-get download -q "$package=$version") 2>&1 |
        { grep -v '^W: Download is performed unsandboxed' || true; }
    dpkg-deb -x "$work"/"$package"_*.deb "$work/root"
    unpacked=$work/root/lib/modules/$release
    depmod -b "$work/root" "$release"
    for module in "${modules[@]}"; do
        path=$(awk -F: -v name="$module" '{ n = $1; sub(/.*\//, "", n); sub(/\.ko.*/, "", n) }
                                          n == name { print $1; exit }' "$unpacked/modules.dep")
        if [ -z "$path" ]; then
            echo "kernel-test: $release has no module $module" >&2
            exit 1
        fi
        place "$path"
    done
    rm -rf "$kernel_dir"
    mkdir -p "$kernel_dir/modules"
    cp "$work/root/boot/vmlinuz-$release" "$kernel_dir/vmlinuz"
    for path in "${load_order[@]}"; do
        name=$(basename "$path")
        case "$name" in
        *.ko.xz) xz -dc "$unpacked/$path" >"$kernel_dir/modules/${name%.xz}" ;;
        *.ko.zst) zstd -qdc "$unpacked/$path" >"$kernel_dir/modules/${name%.zst}" ;;
        *) cp "$unpacked/$path" "$kernel_dir/modules/" ;;
        esac
        echo "${name%.ko*}.ko" >>"$kernel_dir/modules/order"
    done
    echo "${modules[*]}" >"$kernel_dir/ready"
    rm -rf "$work"
    trap - EXIT
    echo "kernel-test: kernel cached in $kernel_dir ($(($(date +%s) - fetch_started)) s)"
fi

# The initramfs: busybox, the init script and the modules.
rm -rf "$run_dir"
mkdir -p "$run_dir/initramfs/bin" "$results"
staging=$run_dir/initramfs
mkdir -p "$staging/proc" "$staging/sys" "$staging/dev" "$staging/modules"
cp /bin/busybox "$staging/bin/busybox"
cp scripts/kernel-init.sh "$staging/init"
chmod 755 "$staging/init"
cp "$kernel_dir/modules/"* "$staging/modules/"
(cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) >"$run_dir/initramfs.gz"

qemu_base=(qemu-system-x86_64 -smp 2 -m 3072 -display none -serial stdio -monitor none
           -no-reboot -nic none -kernel "$kernel_dir/vmlinuz" -initrd "$run_dir/initramfs.gz")

# Whether KVM boots a guest here: /dev/kvm can exist where nested
# virtualisation hangs the guest. Asked once per boot of this machine.
kvm_works() {
    [ -r /dev/kvm ] && [ -w /dev/kvm ] || return 1
    local note
    note=$cache/kvm-$(cat /proc/sys/kernel/random/boot_id)
    if [ ! -f "$note" ]; then
        rm -f "$cache"/kvm-*
        timeout 20 "${qemu_base[@]}" -accel kvm -cpu host \
            -append "console=ttyS0 quiet panic=-1 teelink.probe=1" </dev/null \
            >"$run_dir/kvm-probe.log" 2>&1 || true
        if grep -q "teelink-probe: booted" "$run_dir/kvm-probe.log"; then
            echo yes >"$note"
        else
            echo no >"$note"
        fi
    fi
    [ "$(cat "$note")" = yes ]
}
if kvm_works; then
    accel=(-accel kvm -cpu host)
    mode=KVM
else
    # Wine's processes fault the guest's kernel with -cpu max under TCG; a
    # Haswell without what TCG cannot give carries them.
    accel=(-accel tcg -cpu "${TEELINK_KERNEL_CPU:-Haswell-noTSX,-pcid,-x2apic,-tsc-deadline,-invpcid}")
    mode=TCG
fi

echo "kernel-test: booting $release ($mode) with $build"
boot_started=$(date +%s)
status=0
# A run that is interrupted or ended takes its guest with it.
stop_guest() {
    if [ -f "$run_dir/qemu.pid" ]; then
        kill "$(cat "$run_dir/qemu.pid")" 2>/dev/null || true
        rm -f "$run_dir/qemu.pid"
    fi
}
trap stop_guest EXIT
trap 'stop_guest; exit 130' INT TERM
# In the background, so that a signal's trap runs at once instead of after the guest.
timeout --foreground "$limit" "${qemu_base[@]}" "${accel[@]}" -pidfile "$run_dir/qemu.pid" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 teelink.script=$source_dir/scripts/kernel-guest.sh teelink.source=$source_dir teelink.build=$build teelink.results=$results teelink.stages=${stages// /,}" \
    -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$results,mount_tag=results,security_model=none" \
    </dev/null 2>&1 | sed -u 's/\r//g' | tee "$run_dir/console.log" |
    sed -un -e 's/^| //p' -e '/^kernel-init:/p' -e '/Kernel panic/p' &
wait $! || status=$?
rm -f "$run_dir/qemu.pid"
guest_seconds=$(($(date +%s) - boot_started))

passed=0
failed=0
echo
printf '%-14s %7s %7s %8s %8s\n' stage passed failed skipped seconds
if [ -f "$results/boot" ]; then
    printf '%-14s %7s %7s %8s %8s\n' boot - - - "$(cat "$results/boot")"
fi
while read -r name stage_passed stage_failed stage_skipped seconds; do
    printf '%-14s %7s %7s %8s %8s\n' "$name" "$stage_passed" "$stage_failed" "$stage_skipped" "$seconds"
    passed=$((passed + stage_passed))
    failed=$((failed + stage_failed))
done < <(cat "$results/stages" 2>/dev/null)
if [ ! -f "$results/done" ]; then
    echo "kernel-test: the guest did not finish (status $status); see $run_dir/console.log"
    failed=$((failed + 1))
fi
echo "guest: $guest_seconds s ($mode), whole kernel test: $(($(date +%s) - started)) s; logs in $results"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
