#!/usr/bin/env bash
# The kernel suite: boots Debian's own kernel (scripts/kernel-fetch.sh) in
# qemu over the host's root file system, read-only with a tmpfs on top, and
# runs tests/kernel/guest-checks.py there against calidor-kernel-emu.
#
#   kernel-vm.sh BUILD_DIR
#   CALIDOR_VM_ONLY=usb_list,usb_read_json kernel-vm.sh BUILD_DIR   (some checks only)
#
# Results land in BUILD_DIR/kernel-run/: one <check>.result (PASS/FAIL and
# its output) per check, console.log, and the screenshots go to
# BUILD_DIR/screens/. Exit 0 when the guest ran its checks (each check's
# outcome is in its file), 77 when qemu or the kernel cannot be had, 1 when
# the guest did not come up or did not finish in time.
set -euo pipefail
BUILD=$(cd "${1:?usage: kernel-vm.sh BUILD_DIR}" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)
OUT=$BUILD/kernel-run
KDIR=${CALIDOR_KERNEL_DIR:-$BUILD/kernel}
BOOT_TIMEOUT=${CALIDOR_VM_BOOT_TIMEOUT:-60}
RUN_TIMEOUT=${CALIDOR_VM_TIMEOUT:-170}
SKIP=77

skip() { echo "SKIPPED: $*"; mkdir -p "$OUT"; echo "$*" > "$OUT/skipped"; exit $SKIP; }

rm -rf "$OUT"
mkdir -p "$OUT" "$BUILD/screens"
QEMU=$(command -v qemu-system-x86_64 || true)
[ -n "$QEMU" ] || skip "qemu-system-x86_64 is not installed (scripts/deps.sh installs qemu-system-x86)"
[ -x /bin/busybox ] && busybox --list >/dev/null 2>&1 || skip "busybox is not installed (scripts/deps.sh installs busybox-static)"
file -L /bin/busybox | grep -q 'statically linked' || skip "/bin/busybox is not the static one (busybox-static)"
if [ ! -s "$KDIR/current/vmlinux" ]; then
    # The install script fetches it; a clean clone run straight from ctest gets it here.
    timeout 400 bash "$SRC/scripts/kernel-fetch.sh" "$KDIR" >"$OUT/fetch.log" 2>&1 ||
        skip "Debian's kernel package could not be fetched: $(tail -n 1 "$OUT/fetch.log")"
fi
VER=$(readlink "$KDIR/current")
KROOT=$KDIR/$VER/root
for p in calidorctl calidor calidor-kernel-emu; do
    [ -x "$BUILD/$p" ] || { echo "$BUILD/$p is missing: build first"; exit 1; }
done

# The initramfs: busybox, the modules that reach the host's root, the init.
INITRD=$OUT/initramfs.cpio.gz
stage=$(mktemp -d "$OUT/initramfs.XXXXXX")
mkdir -p "$stage/bin" "$stage/modules"
cp /bin/busybox "$stage/bin/busybox"
cp "$SRC/tests/kernel/initramfs-init" "$stage/init"
chmod +x "$stage/init"
: > "$stage/modules.list"
# Each module after what it needs, as modules.dep says.
python3 - "$KROOT/lib/modules/$VER" virtio_pci 9pnet_virtio 9p overlay >"$stage/modules.list" <<'PY' ||
import os, sys
base = sys.argv[1]
deps = {}
for line in open(os.path.join(base, "modules.dep")):
    mod, _, rest = line.partition(":")
    deps[mod] = rest.split()
by_name = {os.path.basename(m)[:-3]: m for m in deps}
order = []
def add(m):
    if m in order:
        return
    for d in deps[m]:
        add(d)
    order.append(m)
for name in sys.argv[2:]:
    add(by_name[name])
print("\n".join(order))
PY
    skip "the kernel package lacks a module the guest needs to reach the host's root"
while read -r m; do
    cp "$KROOT/lib/modules/$VER/$m" "$stage/modules/"
done < "$stage/modules.list"
sed -i 's|.*/||' "$stage/modules.list"
(cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1) > "$INITRD"
rm -rf "$stage"

# KVM only where it really runs a stock kernel: these machines' nested
# /dev/kvm does not (qemu aborts or stops with an emulation failure). A
# one-off boot to a power-off decides; the answer is kept for the next runs.
ACCEL=(-accel tcg,thread=multi -cpu max)
ACCEL_CACHE=$KDIR/kvm-$VER
if [ -w /dev/kvm ] && [ "${CALIDOR_VM_KVM:-probe}" != no ]; then
    if [ ! -f "$ACCEL_CACHE" ]; then
        probe=$OUT/kvm-probe.log
        timeout 20 "$QEMU" -accel kvm -cpu host -m 256 -nodefaults -no-user-config -display none -nic none \
            -no-reboot -serial "file:$probe" -kernel "$KDIR/current/vmlinux" -initrd "$INITRD" \
            -append "console=ttyS0 panic=-1 rdinit=/bin/busybox -- poweroff -f" >"$OUT/kvm-probe.err" 2>&1 || true
        if grep -q 'reboot: Power down' "$probe" 2>/dev/null; then echo yes; else echo no; fi > "$ACCEL_CACHE"
    fi
    [ "$(cat "$ACCEL_CACHE")" = yes ] && ACCEL=(-accel kvm -cpu host)
fi

CMDLINE="console=ttyS0 panic=-1 loglevel=4 calidor.run=$SRC/tests/kernel/guest-run.sh calidor.build=$BUILD calidor.src=$SRC calidor.kroot=$KROOT calidor.kver=$VER${CALIDOR_VM_ONLY:+ calidor.only=$CALIDOR_VM_ONLY}"
echo "kernel suite: booting $VER with ${ACCEL[*]}"
start=$(date +%s.%N)
set +e
timeout --kill-after=5 "$RUN_TIMEOUT" "$QEMU" "${ACCEL[@]}" -m 2048 -smp 2 -M pc -nodefaults -no-user-config \
    -display none -nic none -no-reboot -serial "file:$OUT/console.log" \
    -kernel "$KDIR/current/vmlinux" -initrd "$INITRD" -append "$CMDLINE" \
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -fsdev local,id=out,path="$OUT",security_model=none \
    -device virtio-9p-pci,fsdev=out,mount_tag=calidorout &
qpid=$!
# Up once the guest script has started: it writes `up` into the shared folder.
booted=""
for _ in $(seq $((BOOT_TIMEOUT * 10))); do
    [ -e "$OUT/up" ] && { booted=$(date +%s.%N); break; }
    kill -0 $qpid 2>/dev/null || break
    sleep 0.1
done
wait $qpid
rc=$?
set -e
end=$(date +%s.%N)
[ -n "$booted" ] && awk -v a="$start" -v b="$booted" 'BEGIN { printf "kernel suite: guest up after %.1f s\n", b - a }'
awk -v a="$start" -v b="$end" -v rc="$rc" 'BEGIN { printf "kernel suite: virtual machine ran %.1f s (qemu exit %d)\n", b - a, rc }'
cp -f "$OUT"/*.png "$BUILD/screens/" 2>/dev/null || true
[ -f "$OUT/figures" ] && cat "$OUT/figures"
if [ -z "$booted" ]; then
    echo "the guest did not come up within ${BOOT_TIMEOUT}s; its console:"
    tail -n 40 "$OUT/console.log"
    exit 1
fi
if [ ! -e "$OUT/done" ]; then
    echo "the guest did not finish its checks within ${RUN_TIMEOUT}s; its console:"
    tail -n 60 "$OUT/console.log"
    exit 1
fi
grep -h '^\(PASS\|FAIL\|SKIP\)' "$OUT"/*.result 2>/dev/null || true
exit 0
