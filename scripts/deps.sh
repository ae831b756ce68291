#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Quiet and quick when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libqt6svg6
  libgl-dev libxkbcommon-dev
  libudev-dev
  # calidorctl serve: its HTTP server, and the real prometheus its tests scrape with
  libmicrohttpd-dev prometheus
  # the scrape benchmark's HTTP client
  libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation
  xvfb xauth x11-utils imagemagick xdotool
  desktop-file-utils appstream
  dpkg-dev file ccache
  lintian man-db
  # the system unit's checks (systemd-analyze); prometheus above also checks the alerting rules
  systemd
  # the fuzz targets (libFuzzer, sanitizers, coverage tools) and their seed writer
  clang-14 libclang-rt-14-dev llvm-14 python3
  # the kernel suite: a virtual machine that boots Debian's own kernel over the host's root,
  # with udev inside it and an initramfs made from busybox
  qemu-system-x86 busybox-static udev cpio xz-utils kmod
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's own kernel for the kernel suite, unpacked in the build tree, not
# installed. Without it that suite reports itself skipped.
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/kernel-fetch.sh" "${CALIDOR_KERNEL_DIR:-$here/../build/kernel}" ||
  echo "deps: Debian's kernel could not be fetched; the kernel suite will be skipped" >&2
