#!/usr/bin/env bash
# Runs the cross build's CTest suite under user-mode emulation.
#
#   scripts/test-arm64.sh BUILD_DIR [more ctest arguments]
#
# Every test but the `kernel` label runs: those boot an amd64 kernel in
# qemu-system-x86, which says nothing about arm64 and makes no sense under
# user-mode emulation.
#
# Full mode (qemu 10 from bookworm-backports, see scripts/arm64-emulator.sh):
# the suite runs inside a private user and mount namespace whose own
# binfmt_misc (Linux 6.7 and later) hands every arm64 program to the
# emulator, so programs started by the tests' programs run too. The machine's
# binfmt registrations are not touched.
#
# Fallback mode (Debian 12's qemu 7.2, or no namespaced binfmt): the tests
# that fail only because of that emulator are left out by name, and listed.
set -euo pipefail

build="${1:?usage: $0 BUILD_DIR [ctest arguments]}"
shift
build="$(cd "$build" && pwd)"
emulator="$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$build/CMakeCache.txt")"
if [ -z "$emulator" ] || [ ! -x "$emulator" ]; then
  echo "test-arm64: $build has no emulator configured (CMAKE_CROSSCOMPILING_EMULATOR)" >&2
  exit 1
fi

# The tests that fail under Debian 12's qemu 7.2 only, as a run with
# CALIDOR_ARM64_FALLBACK=1 lists them (in a build folder of its own:
# CALIDOR_ARM64_FALLBACK=1 make test-arm64 ARM64_BUILD=build-arm64-fallback):
# calidorctl started by QProcess (qemu 7.2 rejects
# its clone flags), and programs started by cmake -P scripts (they need
# binfmt).
EMULATOR_ONLY_FAILURES=(
  "Calidorctl.AReaderNeverSeesAPartialPrometheusFile"
  "Calidorctl.DryRunShowsReportBAndWritesNothing"
  "Calidorctl.HelpAndVersionAnswerWithoutADevice"
  "Calidorctl.ListsThermostatsWithPositionNodeProductAndSerial"
  "Calidorctl.NeedsNoDisplayLibraries"
  "Calidorctl.PrometheusFileShowsTheThermostatDownWhileUnplugged"
  "Calidorctl.ReadsInEveryFormat"
  "Calidorctl.SetWritesReadsBackAndKeepsTheSettingsForTheNextRun"
  "Calidorctl.WatchGoesOnAcrossAnUnplugAndSaysSoOnce"
  "Calidorctl.WatchWritesTimestampedRowsAndTheCsvHeaderOnce"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/no_arguments"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_frobnicate"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_CALIDORCTL_SIMULATE_OPEN_FAILS_1"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_CALIDORCTL_SIMULATE_STALL_1"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_CALIDORCTL_SIMULATE_THERMOSTATS_2"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_colour"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_device_3_CALIDORCTL_SIMULATE_THERMOSTATS_2"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_device_dev_hidraw99"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_read_format_xml"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_mode_C_tl_1"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_th_125_1"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_10_CALIDORCTL_SIMULATE_FAIL_WRITES_1"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_1_25"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_20_th_10"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_22"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_55_5_th_0"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_5_format_json"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_set_tl_abc"
  "Lines/CalidorctlFails.WithItsExitCodeAndOneLine/simulate_watch_interval_50ms"
  "Signals/CalidorctlStopped.EndsCleanlyWithACompleteLastRow/SIGINT"
  "Signals/CalidorctlStopped.EndsCleanlyWithACompleteLastRow/SIGTERM"
  "packaging.OptionsDocumented.calidor"
  "packaging.OptionsDocumented.calidorctl"
)

# The replug soak's thousand unplugs take long under emulation; a hundred
# still cover every event order it draws.
export CALIDOR_SOAK_CYCLES="${CALIDOR_SOAK_CYCLES:-100}"
export QT_QPA_PLATFORM=offscreen
jobs="${JOBS:-$(nproc)}"
ctest_args=(--test-dir "$build" --output-on-failure -j "$jobs" -LE '^kernel$' "$@")

echo "test-arm64: the 'kernel' label is left out (an amd64 VM in qemu-system-x86; meaningless under user-mode emulation)"
echo "test-arm64: CALIDOR_SOAK_CYCLES=$CALIDOR_SOAK_CYCLES"

# An arm64 ELF executable (e_machine 183) goes to the emulator.
register=":calidor-aarch64:M::\\x7fELF\\x02\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\xb7\\x00"
register+=":\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$emulator:F"
mount_binfmt='mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc'

# CALIDOR_ARM64_FALLBACK=1 forces the fallback, to check its list.
full=yes
[ "${CALIDOR_ARM64_FALLBACK:-0}" = 1 ] && { full=no; why="CALIDOR_ARM64_FALLBACK=1"; }
[ "$full" = yes ] && case "$emulator" in
  "$build"/qemu/*) ;;
  *) full=no; why="the emulator is the packaged $("$emulator" --version | head -1)" ;;
esac
if [ "$full" = yes ] && ! unshare --user --map-root-user --mount sh -c "$mount_binfmt" 2>/dev/null; then
  full=no
  why="this kernel ($(uname -r)) gives a user namespace no binfmt_misc of its own"
fi

if [ "$full" = yes ]; then
  echo "test-arm64: full suite under $("$emulator" --version | head -1), binfmt_misc in a private namespace"
  exec unshare --user --map-root-user --mount bash -c \
    "$mount_binfmt && printf '%s' '$register' >/proc/sys/fs/binfmt_misc/register && exec ctest \"\$@\"" \
    ctest "${ctest_args[@]}"
fi

echo "test-arm64: FALLBACK: $why."
echo "test-arm64: these ${#EMULATOR_ONLY_FAILURES[@]} tests are NOT run (they fail under this emulator only):"
[ ${#EMULATOR_ONLY_FAILURES[@]} -eq 0 ] || printf '  %s\n' "${EMULATOR_ONLY_FAILURES[@]}"
exclude=""
for t in "${EMULATOR_ONLY_FAILURES[@]}"; do
  exclude+="${exclude:+|}^$(printf '%s' "$t" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
done
ctest "${ctest_args[@]}" ${exclude:+-E "$exclude"}
echo "test-arm64: FALLBACK run: ${#EMULATOR_ONLY_FAILURES[@]} tests were left out (see above)"
