#!/usr/bin/env bash
# Builds the libFuzzer harnesses in build-fuzz/, writes their seed corpora and
# runs each harness in turn for SECONDS (default 60), printing executions and
# coverage per harness. Crashing inputs land in build-fuzz/artifacts/<harness>/.
#
#   scripts/fuzz.sh [--keep] [SECONDS] [HARNESS...]   e.g. scripts/fuzz.sh 600 fuzz_xm fuzz_3ds
#   scripts/fuzz.sh --merge [HARNESS...]
#
# The kept inputs of tests/data/fuzz/<reader>/ join each corpus. With --keep,
# each harness's corpus is afterwards minimised (-merge=1) into that folder: the
# inputs below FUZZ_KEEP_BYTES (default 8192) that add coverage beyond the
# generated seeds, which are left out as the build writes them again. Inputs
# that crashed, hung or leaked (crash-*, timeout-*, leak-*, oom-*, slow-unit-*)
# are always kept, found now or before. The replay tests run every kept file.
#
# --merge runs no fuzzer: it minimises the kept inputs alone against the
# current harnesses in the same way, so that after a reader changes no kept
# file is redundant.
#
# Harnesses run one at a time on one core. Set FUZZ_JOBS for the build (default 2).
set -euo pipefail

cd "$(dirname "$0")/.."
keep=0
mergeOnly=0
if [[ $# -gt 0 && $1 == --keep ]]; then
  keep=1
  shift
elif [[ $# -gt 0 && $1 == --merge ]]; then
  mergeOnly=1
  shift
fi
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

# keep_inputs HARNESS READER CORPUS ARTIFACTS SEEDDIR...: minimises the corpus
# into tests/data/fuzz/READER/ (see above).
keep_inputs() {
  local h=$1 name=$2 corpus=$3 artifacts=$4
  shift 4
  local kept=tests/data/fuzz/$name work=$build/keep/$name
  rm -rf "$work"
  mkdir -p "$work/seeds" "$work/small" "$work/merged" "$kept"
  for dir in "$@"; do
    [[ -d $seeds/$dir ]] && cp "$seeds/$dir"/* "$work/seeds"/ 2>/dev/null || true
  done
  # Faults are kept under their own names below, not a second time by content.
  find "$corpus" -type f -size -"${FUZZ_KEEP_BYTES:-8192}"c ! -name 'crash-*' ! -name 'timeout-*' \
    ! -name 'leak-*' ! -name 'oom-*' ! -name 'slow-unit-*' -exec cp -t "$work/small" {} +
  # The seeds go in first, so that only what adds to them is taken.
  cp "$work/seeds"/* "$work/merged"/ 2>/dev/null || true
  "$build/fuzz/$h" -merge=1 -timeout=10 -rss_limit_mb=2048 "$work/merged" "$work/small" >"$work/merge.log" 2>&1 ||
    echo "   $h: the merge failed, see $work/merge.log"
  grep -h 'MERGE-OUTER: [0-9]* new files' "$work/merge.log" | tail -1 | sed 's/^/   /' || true
  for seed in "$work/seeds"/*; do
    [[ -f $seed ]] && rm -f "$work/merged/$(basename "$seed")"
  done
  mkdir -p "$work/faults"
  find "$kept" "$artifacts" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'leak-*' \
    -o -name 'oom-*' -o -name 'slow-unit-*' \) -exec cp -t "$work/faults" {} + 2>/dev/null || true
  find "$kept" -maxdepth 1 -type f -delete
  cp "$work/merged"/* "$work/faults"/* "$kept"/ 2>/dev/null || true
  echo "   kept $(find "$kept" -type f | wc -l) inputs in $kept"
}

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
  if [[ $mergeOnly -eq 1 ]]; then
    before=$(find "tests/data/fuzz/$name" -type f 2>/dev/null | wc -l)
    echo "== $h: $before kept inputs"
    [[ $before -gt 0 ]] && keep_inputs "$h" "$name" "tests/data/fuzz/$name" "$artifacts" "${seedDirs[@]}"
    continue
  fi
  for dir in "${seedDirs[@]}"; do
    [[ -d $seeds/$dir ]] && cp -n "$seeds/$dir"/* "$corpus"/ 2>/dev/null || true
  done
  # Kept inputs join the corpus, so fixed faults stay fixed.
  [[ -d tests/data/fuzz/$name ]] && cp -n tests/data/fuzz/"$name"/* "$corpus"/ 2>/dev/null || true
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
  [[ $keep -eq 1 ]] && keep_inputs "$h" "$name" "$corpus" "$artifacts" "${seedDirs[@]}"
done
[[ $mergeOnly -eq 1 ]] && exit 0
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
