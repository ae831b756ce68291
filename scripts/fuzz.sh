#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/.
#   fuzz.sh run BINARY NAME SECONDS WORK   one target: its seed corpus, then
#                                          SECONDS of fuzzing; new inputs go
#                                          to WORK/NAME, crashes to WORK/artifacts
#   fuzz.sh all BUILD SECONDS              the three targets side by side
#   fuzz.sh coverage COVBUILD WORK         replays seeds and WORK's corpora in a
#                                          coverage build and prints llvm-cov's
#                                          report for the component's files
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(descriptor_codec hostile_device hidraw_sysfs)

dict_of() {
  case "$1" in
    hidraw_sysfs) echo "$root/fuzz/sysfs.dict" ;;
    *) echo "$root/fuzz/hid.dict" ;;
  esac
}

# Descriptors may be longer than the parser accepts, so its limit is tried too.
max_len_of() {
  case "$1" in
    descriptor_codec) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

run_one() {
  local bin=$1 name=$2 seconds=$3 work=$4
  mkdir -p "$work/$name" "$work/artifacts"
  "$bin" -max_total_time="$seconds" -max_len="$(max_len_of "$name")" -timeout="${FUZZ_TIMEOUT:-60}" -rss_limit_mb=2048 -print_final_stats=1 \
    -dict="$(dict_of "$name")" -artifact_prefix="$work/artifacts/$name-" \
    "$work/$name" "$root/fuzz/corpus/$name"
}

tool() {
  command -v "$1-14" || command -v "$1"
}

case "${1:-}" in
  run)
    run_one "$2" "$3" "$4" "$5"
    ;;
  all)
    build=$2 seconds=$3
    pids=()
    for t in "${targets[@]}"; do
      run_one "$build/fuzz_$t" "$t" "$seconds" "$build/fuzz-work" >"$build/fuzz-work-$t.log" 2>&1 &
      pids+=($!)
    done
    status=0
    for i in "${!targets[@]}"; do
      if ! wait "${pids[$i]}"; then
        echo "fuzz_${targets[$i]} found a fault: see $build/fuzz-work-${targets[$i]}.log" >&2
        status=1
      fi
      grep -E '^stat::(number_of_executed_units|new_units_added)|^#[0-9]+.*DONE' \
        "$build/fuzz-work-${targets[$i]}.log" | sed "s/^/${targets[$i]}: /" || true
    done
    exit $status
    ;;
  coverage)
    build=$2 work=$3
    out="$build/coverage"
    rm -rf "$out" && mkdir -p "$out"
    for t in "${targets[@]}"; do
      # The component's files that the target reaches.
      case "$t" in
        descriptor_codec) names=(ReportDescriptorParser.cpp ReportCodec.cpp) ;;
        hostile_device) names=(HidAgent.cpp ReportDescriptorParser.cpp ReportCodec.cpp) ;;
        hidraw_sysfs) names=(HidrawSysfs.cpp) ;;
      esac
      files=()
      for f in "${names[@]}"; do
        files+=("$(find "$root/src" -name "$f" | head -n 1)")
      done
      dirs=("$root/fuzz/corpus/$t")
      [ -d "$work/$t" ] && dirs+=("$work/$t")
      LLVM_PROFILE_FILE="$out/$t.profraw" "$build/fuzz_$t" -runs=0 "${dirs[@]}" >"$out/$t.log" 2>&1
      "$(tool llvm-profdata)" merge -sparse "$out/$t.profraw" -o "$out/$t.profdata"
      echo "== fuzz_$t ($(grep -c . <(find "${dirs[@]}" -type f)) inputs)"
      # The header and those files; headers and generated code are left out.
      "$(tool llvm-cov)" report "$build/fuzz_$t" -instr-profile="$out/$t.profdata" "${files[@]}" |
        grep -E "^Filename|/($(IFS='|'; echo "${names[*]//.cpp/}"))\.cpp "
      grep -E '^Done|ERROR' "$out/$t.log" | tail -n 1 || true
    done
    ;;
  *)
    sed -n '2,9p' "$0" >&2
    exit 2
    ;;
esac
