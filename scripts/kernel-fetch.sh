#!/usr/bin/env bash
# Fetches the kernel that Debian 12's linux-image-amd64 names, for the kernel
# suite, and unpacks it into DIR without installing it:
#   DIR/<version>/root/   the package's files, with modules.dep
#   DIR/<version>/vmlinux the uncompressed image, which qemu boots directly (PVH)
#   DIR/current           a link to the newest one
# Quick when it is already there.
set -euo pipefail
DIR=${1:?usage: kernel-fetch.sh DIR}
mkdir -p "$DIR"

pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }')
if [ -z "$pkg" ]; then
    timeout 300 apt-get update -qq || true
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }')
fi
[ -n "$pkg" ] || { echo "kernel-fetch: the package lists name no linux-image-amd64 kernel" >&2; exit 1; }
ver=${pkg#linux-image-}
if [ -s "$DIR/$ver/vmlinux" ] && [ -s "$DIR/$ver/root/lib/modules/$ver/modules.dep" ]; then
    ln -sfn "$ver" "$DIR/current"
    exit 0
fi

tmp=$(mktemp -d "$DIR/.fetch.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
echo "kernel-fetch: downloading $pkg for the kernel suite"
# apt-get download writes into the current folder; as root it warns that _apt may not, which is harmless.
if ! (cd "$tmp" && timeout 300 apt-get download -q "$pkg" >"$tmp/download.log" 2>&1); then
    timeout 300 apt-get update -qq || true
    (cd "$tmp" && timeout 300 apt-get download -q "$pkg") || exit 1
fi
deb=$(ls "$tmp"/*.deb)
dpkg-deb -x "$deb" "$tmp/root"
depmod -b "$tmp/root" "$ver"
# The vmlinuz is a compressed image with the kernel as one XZ stream inside;
# unpacked, qemu boots it in half the time.
python3 - "$tmp/root/boot/vmlinuz-$ver" "$tmp/vmlinux" <<'PY'
import lzma, sys
data = open(sys.argv[1], "rb").read()
at = data.find(b"\xfd7zXZ\x00")
while at >= 0:
    try:
        out = lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(data[at:])
        if out[:4] == b"\x7fELF":
            open(sys.argv[2], "wb").write(out)
            sys.exit(0)
    except lzma.LZMAError:
        pass
    at = data.find(b"\xfd7zXZ\x00", at + 1)
sys.exit("kernel-fetch: no XZ-compressed ELF kernel in " + sys.argv[1])
PY
rm -f "$deb"
rm -rf "${DIR:?}/$ver"
mkdir -p "$DIR/$ver"
mv "$tmp/root" "$tmp/vmlinux" "$DIR/$ver/"
ln -sfn "$ver" "$DIR/current"
echo "kernel-fetch: $DIR/$ver ready"
