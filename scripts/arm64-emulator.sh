#!/usr/bin/env bash
# Prints the path of the arm64 user-mode emulator the cross build's tests
# run under, and on standard error which one it is.
#
#   scripts/arm64-emulator.sh BUILD_DIR
#
# Debian 12's own qemu (7.2) cannot run everything the tests do: Qt's
# QProcess starts children with a clone flag it rejects. So qemu 10 from
# bookworm-backports is fetched once and unpacked into BUILD_DIR/qemu; it is
# not installed, and the machine's apt configuration is not touched (a
# private source list and cache in BUILD_DIR/qemu/apt). Where backports
# cannot be reached, the packaged qemu-user-static is printed instead and
# scripts/test-arm64.sh runs in its fallback mode.
set -euo pipefail

build="${1:?usage: $0 BUILD_DIR}"
mkdir -p "$build"
dir="$(cd "$build" && pwd)/qemu"
qemu="$dir/root/usr/bin/qemu-aarch64"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"

fetch() {
  local apt="$dir/apt"
  rm -rf "$apt" "$dir/root"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/prefs" "$dir/root"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
    >"$apt/sources.list"
  local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
              -o "Dir::Etc::PreferencesParts=$apt/prefs" -o "Dir::State::Lists=$apt/lists"
              -o "Dir::Cache=$apt/cache" -o "APT::Architectures::=amd64" -o "Debug::NoLocking=1"
              -o "Acquire::Retries=2" -o "Acquire::http::Timeout=30")
  # apt's download user cannot write into a build folder owned by someone else.
  if [ "$(id -u)" -eq 0 ]; then opts+=(-o "APT::Sandbox::User=root"); fi
  apt-get "${opts[@]}" -qq update || return 1
  # qemu 10's qemu-user holds the static emulators.
  (cd "$apt" && apt-get "${opts[@]}" -qq download qemu-user) || return 1
  # Only the arm64 emulator out of the package's forty.
  dpkg-deb --fsys-tarfile "$apt"/qemu-user_*.deb | tar -x -C "$dir/root" ./usr/bin/qemu-aarch64 || return 1
  rm -f "$apt"/qemu-user_*.deb
  [ -x "$qemu" ] && "$qemu" --version >/dev/null
}

# CALIDOR_ARM64_FALLBACK=1 picks the packaged one, to check the fallback's list
# in a build folder of its own.
if [ "${CALIDOR_ARM64_FALLBACK:-0}" != 1 ] && { [ -x "$qemu" ] || fetch >&2; }; then
  echo "arm64 emulator: $("$qemu" --version | head -1) from bookworm-backports ($qemu)" >&2
  echo "$qemu"
  exit 0
fi
rm -rf "$dir/root"
packaged="$(command -v qemu-aarch64-static || true)"
if [ -z "$packaged" ]; then
  echo "arm64 emulator: none (bookworm-backports unreachable and qemu-user-static missing: scripts/deps.sh arm64)" >&2
  exit 1
fi
why="bookworm-backports unreachable"
[ "${CALIDOR_ARM64_FALLBACK:-0}" = 1 ] && why="CALIDOR_ARM64_FALLBACK=1"
echo "arm64 emulator: $why; FALLBACK to the packaged $("$packaged" --version | head -1)" >&2
echo "$packaged"
