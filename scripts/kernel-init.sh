#!/bin/busybox sh
# shellcheck shell=sh
# /init of the kernel test's initramfs (busybox sh): loads the modules that
# scripts/kernel-test.sh put beside it, mounts this machine's root read-only
# (9p) under a writable layer in memory, so the guest runs the host's own
# programs and libraries and nothing it changes reaches the host, mounts the
# results folder (9p, writable), runs the guest's script in that root and
# powers off. Settings come on the kernel command line as teelink.NAME=VALUE.
/bin/busybox --install -s /bin
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

setting() {
    read -r cmdline </proc/cmdline
    for word in $cmdline; do
        case "$word" in
        "teelink.$1="*) echo "${word#*=}" ;;
        esac
    done
}

script=$(setting script)
source_dir=$(setting source)
build=$(setting build)
results=$(setting results)
stages=$(setting stages)
if [ "$(setting probe)" = 1 ]; then
    echo "teelink-probe: booted"
    poweroff -f
fi

# Two dummy host controllers, each with its device side: two gadgets can be
# plugged in at once.
while read -r module; do
    case "$module" in
    dummy_hcd.ko) insmod "/modules/$module" num=2 ;;
    *) insmod "/modules/$module" ;;
    esac || echo "kernel-init: cannot load $module"
done </modules/order

mkdir -p /lower /layer /root
# The host's files do not change while the guest runs: the guest may cache them.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /lower
mount -t tmpfs -o mode=0755 layer /layer
mkdir -p /layer/upper /layer/work
mount -t overlay -o lowerdir=/lower,upperdir=/layer/upper,workdir=/layer/work overlay /root

for dir in proc sys dev; do
    mount --move "/$dir" "/root/$dir"
done
mount -t configfs configfs /root/sys/kernel/config
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts devpts /root/dev/pts
mount -t tmpfs shm /root/dev/shm
# A /tmp of the guest's own, without the host's sockets and files.
mount -t tmpfs -o mode=1777 tmp /root/tmp
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results "/root$results"

chroot /root /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    /bin/bash "$script" "$source_dir" "$build" "$results" "$stages"
echo "kernel-init: the guest's script ended with $?"
sync
poweroff -f
