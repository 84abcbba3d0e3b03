#!/bin/bash

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The first process of the emulated machine of scripts/test-hardware.sh, on the host's own
# userland (read-only over 9p, the clone at /mnt): writable folders in memory, udev for the
# adapters' devices, groups and by-id links, then tst_hardware under an X server of its own. It
# powers the machine off when done, whatever happened.
exec >/dev/hvc0 2>&1
echo "guest: up after $(cut -d' ' -f1 /proc/uptime) s"
echo 1 >/proc/sys/kernel/sysrq
finish() {
    echo "guest: end ($1)"
    sync
    echo o >/proc/sysrq-trigger
    sleep 30
}
trap 'finish "signal"' TERM INT
build=build
read -r -a words </proc/cmdline
for word in "${words[@]}"; do
    case "$word" in dialer.build=*) build=${word#dialer.build=} ;; esac
done
mount -t tmpfs tmp /tmp
mount -t tmpfs run /run
mkdir -p /run/lock /run/udev /tmp/home
chmod 700 /tmp/home
mount -t devpts devpts /dev/pts 2>/dev/null || true
mkdir -p /dev/shm && mount -t tmpfs shm /dev/shm
# Without systemd's journal the daemon processes no event unless it logs to its own stream.
/lib/systemd/systemd-udevd --daemon --debug >/tmp/udevd.log 2>&1
udevadm trigger --action=add --type=subsystems
udevadm trigger --action=add --type=devices
udevadm settle --timeout=60
echo "guest: devices settled after $(cut -d' ' -f1 /proc/uptime) s"
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/home LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
export HW_PROGRAM="/mnt/$build/src/app/dialer-config" HW_DIALERCTL="/mnt/$build/src/dialerctl/dialerctl"
export HW_SLOW_OPEN="/mnt/$build/tests/hardware/slow-open"
export HW_DIALER_SIM="/mnt/$build/tools/dialer-sim/dialer-sim"
# Character devices served from user space, for a port whose opening the kernel holds.
modprobe cuse || echo "guest: no cuse module"
# The host's control port, by the name qemu gave it.
for port in /sys/class/virtio-ports/*; do
    [ "$(cat "$port/name" 2>/dev/null)" = dialer.ctl ] && HW_CONTROL="/dev/${port##*/}"
done
export HW_CONTROL QT_QPA_PLATFORM=xcb
status=0
/mnt/scripts/with-xvfb.sh "/mnt/$build/tests/hardware/tst_hardware" || status=$?
if [ "$status" -ne 0 ]; then
    echo "guest: what the system saw:"
    ls -l /dev/ttyUSB* /dev/ttyACM* /dev/ttyGS* /dev/ttyS* /dev/serial/by-id 2>&1
    # dmesg prints nothing in this machine; the kernel's log reads as well from /dev/kmsg.
    timeout 2 cat /dev/kmsg | grep -v '^ ' | grep -iE "usb|tty|serial" | tail -30
    grep -iE 'error|fail' /tmp/udevd.log | tail -20
fi
finish "tst_hardware exit $status"
