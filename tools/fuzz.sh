#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with the address and undefined-behaviour
# sanitizers, in build/fuzz) and runs each for a bounded time from its seed corpus. Fails on
# any finding: the input that caused it is kept in build/fuzz/findings/<target>/.
#
#   bash tools/fuzz.sh [seconds per target, default 60] [target ...]
#
# Targets: fuzz_image fuzz_protocol fuzz_registry fuzz_lang (all when none is named). Inputs a
# run finds worth keeping go to build/fuzz/corpus/<target>, which later runs start from too;
# the seeds in fuzz/corpus are only read.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_image fuzz_protocol fuzz_registry fuzz_lang)
fi

build=build/fuzz
# Asserts stay on (no NDEBUG): an invariant that bad input breaks is a finding too.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" \
  -DQOR_FUZZ=ON -DQOR_BUILD_TESTS=OFF -DQOR_BUILD_BENCH=OFF -DQOR_BUILD_APP=OFF >/dev/null
ninja -C "$build" "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
  program="$build/bin/$target"
  [[ "$target" == fuzz_lang ]] && program="$build/bin/lang/$target"  # beside its language library
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/$target.log"
  mkdir -p "$corpus" "$findings"
  status=0
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/${target#fuzz_}" >"$log" 2>&1 || status=$?
  # libFuzzer's last status line: "#<runs> DONE cov: <edges> ft: <features> ... exec/s: <rate>".
  summary=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1 || true)
  echo "$target: ${summary:-no status line}"
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" | sed 's/^/    /' || true
  if ((status != 0)); then
    echo "$target: FINDING (exit $status); input kept in $findings, log in $log"
    grep -E -A 30 'ERROR: |runtime error|lost file|message storm|ALARM|deadly signal' "$log" | head -n 60 || true
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "Findings in: ${failed[*]}"
  exit 1
fi
