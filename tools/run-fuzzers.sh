#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS, at the lowest CPU
# priority, starting from a copy of its seed corpus in fuzz/corpus/ so that
# the repository is left as it is. Prints executions, coverage and the
# outcome per target; exits non-zero when any target found a fault.
#
#   tools/run-fuzzers.sh [--if-available] [--no-build] SECONDS [TARGET...]
#
# --if-available  skip (exit 0) when clang or libFuzzer is missing
# --no-build      use the targets already built (in build-fuzz/fuzz, or in
#                 FUZZ_BIN_DIR when that is set)
# Inputs that made a target fail are kept in build-fuzz/fuzz-findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

if_available=0
build=1
while [[ $# -gt 0 && "$1" == --* ]]; do
  case "$1" in
    --if-available) if_available=1 ;;
    --no-build) build=0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
if [[ $# -lt 1 || ! "$1" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [--if-available] [--no-build] SECONDS [TARGET...]" >&2
  exit 2
fi
seconds="$1"
shift
all_targets=(fuzz_settings fuzz_report fuzz_paths fuzz_ignored_names fuzz_sftp)
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  targets=("${all_targets[@]}")
fi

# Can clang build and link a libFuzzer program here?
fuzzer_toolchain_works() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe="$(mktemp -d)"
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
    >"$probe/probe.cpp"
  local ok=0
  clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1 || ok=1
  rm -rf "$probe"
  return $ok
}

if ! fuzzer_toolchain_works; then
  if [[ $if_available -eq 1 ]]; then
    echo "run-fuzzers: clang with libFuzzer is not available; fuzzing skipped"
    exit 0
  fi
  echo "run-fuzzers: clang with libFuzzer is needed (Debian: clang libfuzzer-14-dev)" >&2
  exit 1
fi

bin="${FUZZ_BIN_DIR:-$root/build-fuzz/fuzz}"
if [[ $build -eq 1 ]]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTANDREL_FUZZ=ON -DTANDREL_CORE_ONLY=ON \
    -DTANDREL_BENCH=OFF >/dev/null
  nice -n 19 cmake --build build-fuzz --target "${targets[@]}" -j"${FUZZ_BUILD_JOBS:-$(nproc)}"
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/tandrel-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

failed=0
summary=()
for target in "${targets[@]}"; do
  if [[ ! -x "$bin/$target" ]]; then
    echo "run-fuzzers: $bin/$target is not built" >&2
    exit 1
  fi
  corpus="$scratch/$target/corpus"
  findings="$root/build-fuzz/fuzz-findings/$target"
  log="$scratch/$target/log"
  mkdir -p "$corpus" "$findings"
  if [[ -d "fuzz/corpus/$target" ]]; then
    cp -R "fuzz/corpus/$target/." "$corpus/"
  fi
  echo "== $target: ${seconds}s"
  status=0
  (cd "$scratch/$target" &&
    TMPDIR="$scratch/$target" nice -n 19 "$bin/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1) || status=$?
  # A target that fails on its first input prints no coverage line.
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)"
  ft="$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)"
  if [[ $status -eq 0 ]]; then
    result="no crash"
  else
    failed=1
    artifact="$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)"
    result="FAILED (exit $status)${artifact:+, input kept in $artifact}"
    grep -E 'property failed|ERROR|SUMMARY|runtime error' "$log" | head -20 || true
    tail -5 "$log"
  fi
  line="$(printf '%-20s %6ss  %12s executions  cov %-6s ft %-6s %s' "$target" "$seconds" \
    "${executions:-?}" "${cov:-?}" "${ft:-?}" "$result")"
  echo "$line"
  summary+=("$line")
done

echo
echo "Fuzzing summary:"
printf '%s\n' "${summary[@]}"
exit $failed
