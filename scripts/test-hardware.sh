#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The hardware lane: the window and dialerctl on the kernel's own serial drivers. Boots Debian's
# kernel (linux-image-amd64) under qemu with TCG on this machine's own userland, shared read-only
# over virtio-9p, with two USB serial adapters (ftdi_sio) and a 16550 UART, each leading to a
# simulated dialer here; adapters are plugged and pulled through qemu's monitor while the tests
# run inside (tests/hardware). The initramfs is made here from busybox-static and the modules
# that mount the shared root. Prints each test and 'N passed, N failed'; a machine that does not
# boot is a failure. Needs the default build (scripts/test.sh makes it).
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/install-deps.sh --test
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target dialer-config dialerctl dialer-sim tst_hardware \
    slow-open

# The newest kernel that has its modules here.
kernel=""
for image in /boot/vmlinuz-*; do
    version=${image#/boot/vmlinuz-}
    [ -d "/lib/modules/$version" ] && kernel=$version
done
if [ -z "$kernel" ]; then
    echo "hardware lane: no kernel with modules in /boot (linux-image-amd64)" >&2
    exit 1
fi

work=$(mktemp -d)
# DIALER_HW_KEEP=1 keeps the lane's folder (console, qemu's log, the dialers' logs) for a look.
if [ "${DIALER_HW_KEEP:-}" = 1 ]; then
    echo "hardware lane: working in $work"
else
    trap 'rm -rf "$work"' EXIT
fi
root="$work/initramfs"
mkdir -p "$root/bin" "$root/dev" "$root/proc" "$root/sys" "$root/newroot" "$root/modules"
cp /bin/busybox "$root/bin/"
for applet in sh mount insmod switch_root cat sleep poweroff; do
    ln -s busybox "$root/bin/$applet"
done
# What mounts the shared root, in the order they depend on each other, and the console.
modules="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache
         9pnet 9pnet_virtio 9p virtio_console"
for module in $modules; do
    file=$(modinfo -k "$kernel" -n "$module")
    case "$file" in
    *.ko) cp "$file" "$root/modules/$module.ko" ;;
    *.ko.xz) xz -dc "$file" >"$root/modules/$module.ko" ;;
    *)
        echo "hardware lane: module $module not found for $kernel" >&2
        exit 1
        ;;
    esac
done
# shellcheck disable=SC2086
module_list=$(printf '%s ' $modules)
cat >"$root/init" <<INIT
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
# What goes wrong here reaches the console through the kernel's log.
say() { echo "initramfs: \$*" >/dev/kmsg; }
for module in $module_list; do
    insmod /modules/\$module.ko || say "insmod \$module failed"
done
repo=""
for word in \$(cat /proc/cmdline); do
    case "\$word" in dialer.repo=*) repo=\${word#dialer.repo=} ;; esac
done
if ! mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /newroot; then
    say "the shared root did not mount"
    poweroff -f
fi
# The clone at /mnt, wherever it is here (a later tmpfs on /tmp would hide it).
mount --bind "/newroot\$repo" /newroot/mnt || say "the clone \$repo is not in the shared root"
mount --move /proc /newroot/proc
mount --move /sys /newroot/sys
mount --move /dev /newroot/dev
exec switch_root /newroot /bin/bash /mnt/tests/hardware/guest.sh
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initramfs.gz"

echo "== hardware lane: Linux $kernel under qemu (TCG) =="
python3 "$top/tests/hardware/lane.py" --repo "$top" --build "$top/build" --work "$work" \
    --kernel "/boot/vmlinuz-$kernel" --initrd "$work/initramfs.gz"
