#!/bin/sh
# PID 1 of the kernel suite's guest, on the overlay of the host's root: the
# kernel modules from the unpacked package, udev with the package's rule,
# then the checks. It always ends by powering the machine off.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
echo "calidor guest: up at $(cut -d' ' -f1 /proc/uptime) s"
for w in $(cat /proc/cmdline); do
    case "$w" in calidor.*=*) k=${w%%=*}; eval "${k#calidor.}=\${w#*=}" ;; esac
done
OUT=/run/calidor-out
mount -t tmpfs tmpfs /run
# /tmp stays the host's, seen through the overlay: the source and build trees
# may well live there (a CI clone does). What the guest writes stays in the
# overlay's memory; the host's X displays are not the guest's.
rm -rf /tmp/.X*-lock /tmp/.X11-unix
mkdir -p /dev/pts /dev/shm $OUT
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 calidorout $OUT || { echo "CALIDOR-VM: FATAL no output folder"; poweroff -f; }
echo up > $OUT/up

finish() {
    sync
    echo done > $OUT/done
    sync
    poweroff -f
}

# The guest kernel's modules are in the build tree, not in the host's /lib/modules.
mkdir -p /lib/modules /run/udev
ln -sfn "$kroot/lib/modules/$kver" "/lib/modules/$kver"

# The package's udev rule, where the package puts it; a group it names is the package's too.
rule=$src/resources/udev/70-calidor-qn52w.rules
cp "$rule" /usr/lib/udev/rules.d/
for g in $(sed -n 's/.*GROUP="\([^"]*\)".*/\1/p' "$rule" | sort -u); do
    getent group "$g" >/dev/null || groupadd --system "$g"
done
# udev starts while the modules load: both are slow under emulation.
modprobe -a uhid vhci-hcd usbhid hid-generic 2>$OUT/modprobe.log &
/lib/systemd/systemd-udevd --daemon 2>$OUT/udevd.log
wait
timeout 20 udevadm settle --timeout=15
echo "calidor guest: modules and udev ready at $(cut -d' ' -f1 /proc/uptime) s"

timeout 150 python3 "$src/tests/kernel/guest-checks.py" --build "$build" --out $OUT ${only:+--only $(echo "$only" | tr , ' ')} \
    >$OUT/checks.log 2>&1
echo "checks exit $?" >>$OUT/checks.log
finish
