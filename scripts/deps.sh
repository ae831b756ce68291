#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Quiet and quick when everything is already there.
#
#   scripts/deps.sh         the native (amd64) set
#   scripts/deps.sh arm64   also the cross set: arm64 compilers, the :arm64
#                           development packages of every library we link,
#                           and the user-mode emulator
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
  # the MQTT bridge, and the broker, clients, template engine and certificates of its tests
  libmosquitto-dev mosquitto mosquitto-clients python3-jinja2 openssl
  # the service's history (and the sqlite3 shell its tests and README use)
  libsqlite3-dev sqlite3
  # the old watch logs that history import reads
  libcsv-dev
  # the web dashboard: its configuration file, its compressed files, its chart
  # library, and the real browser its tests drive
  libyaml-cpp-dev zlib1g-dev libjs-dygraphs chromium chromium-driver python3-selenium
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

# Every library the project links, for the target: a library added to the
# native list above needs its :arm64 twin here.
ARM64_PACKAGES=(
  crossbuild-essential-arm64 pkgconf:arm64
  qt6-base-dev:arm64 libqt6printsupport6:arm64 libqt6svg6:arm64
  libgl-dev:arm64 libxkbcommon-dev:arm64
  libudev-dev:arm64
  libgtest-dev:arm64 libgmock-dev:arm64 libbenchmark-dev:arm64
  libmicrohttpd-dev:arm64 libmosquitto-dev:arm64
  libsqlite3-dev:arm64 libcsv-dev:arm64
  # the web dashboard's compressed files
  zlib1g-dev:arm64
  # libyaml-cpp-dev cannot sit beside its arm64 twin: the cross build takes the
  # native headers and links the arm64 shared library directly
  libyaml-cpp0.7:arm64
  # the scrape benchmark's HTTP client
  libcurl4-openssl-dev:arm64
  # the packaged emulator, the fallback when qemu from backports cannot be had
  qemu-user-static
)

target="${1:-native}"
case "$target" in
  native) ;;
  arm64) PACKAGES+=("${ARM64_PACKAGES[@]}") ;;
  *) echo "usage: $0 [arm64]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$target" = arm64 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    echo "Adding the arm64 architecture to dpkg"
    $SUDO dpkg --add-architecture arm64
  fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  # A multiarch install can ask to replace a package of the machine by its
  # other-architecture twin; this script never removes anything.
  sim=$(LC_ALL=C apt-get install -s --no-install-recommends "${missing[@]}")
  removed=$(printf '%s\n' "$sim" | sed -n 's/^Remv \([^ ]*\).*/\1/p')
  if [ -n "$removed" ]; then
    echo "deps.sh: installing ${missing[*]} would remove these packages:" >&2
    printf '  %s\n' $removed >&2
    echo "deps.sh: nothing was installed; resolve the conflict by hand first." >&2
    exit 1
  fi
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's own kernel for the kernel suite, unpacked in the build tree, not
# installed. Without it that suite reports itself skipped.
if [ "$target" = native ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  bash "$here/kernel-fetch.sh" "${CALIDOR_KERNEL_DIR:-$here/../build/kernel}" ||
    echo "deps: Debian's kernel could not be fetched; the kernel suite will be skipped" >&2
fi
