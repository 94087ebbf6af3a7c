#!/usr/bin/env bash
# Builds the libFuzzer harnesses in build-fuzz/, writes their seed corpora and
# runs each harness in turn for SECONDS (default 60), printing executions and
# coverage per harness. Crashing inputs land in build-fuzz/artifacts/<harness>/.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]     e.g. scripts/fuzz.sh 600 fuzz_xm fuzz_3ds
#
# Harnesses run one at a time on one core. Set FUZZ_JOBS for the build (default 2).
set -euo pipefail

cd "$(dirname "$0")/.."
seconds=60
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
all=(fuzz_s3m fuzz_xm fuzz_mod fuzz_it fuzz_play fuzz_3ds fuzz_archive fuzz_pcx fuzz_bmp fuzz_wave fuzz_config)
harnesses=("$@")
[[ ${#harnesses[@]} -eq 0 ]] && harnesses=("${all[@]}")

build=build-fuzz
if [[ ! -f $build/CMakeCache.txt ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFUZZ=ON -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target fuzz_seeds "${harnesses[@]}"

seeds=$build/seeds
"$build/fuzz/fuzz_seeds" "$seeds"

status=0
summary=()
for h in "${harnesses[@]}"; do
  name=${h#fuzz_}
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  # The player's harness starts from the seeds of every module reader.
  seedDirs=("$name")
  [[ $name == play ]] && seedDirs=(s3m xm mod it)
  for dir in "${seedDirs[@]}"; do
    [[ -d $seeds/$dir ]] && cp -n "$seeds/$dir"/* "$corpus"/ 2>/dev/null || true
  done
  # Inputs that once found faults join the corpus, so fixed faults stay fixed.
  [[ -d tests/fuzz/data/$name ]] && cp -n tests/fuzz/data/"$name"/* "$corpus"/ 2>/dev/null || true
  log=$build/$h.log
  echo "== $h: ${seconds}s"
  set +e
  "$build/fuzz/$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' <<<"$last" | tail -1)
  ft=$(grep -oE 'ft: [0-9]+' <<<"$last" | tail -1)
  line="$h: rc=$rc, ${runs:-?} executions in ${seconds}s, ${cov:-cov: ?}, ${ft:-ft: ?}"
  if [[ $rc -ne 0 ]]; then
    status=1
    line+=" -- FAILED, see $log and $artifacts/"
    grep -E 'ERROR|SUMMARY|fuzz harness' "$log" | head -5 || true
  fi
  echo "$line"
  summary+=("$line")
done
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
