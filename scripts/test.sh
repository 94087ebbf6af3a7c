#!/usr/bin/env bash
# Sets everything up and runs every test: the full suite in the normal build, the
# unit tests again under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# thread tests under ThreadSanitizer, and each fuzzer briefly over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== build and test (RelWithDebInfo)"
bash scripts/build.sh default
ctest --preset default

echo "== unit tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)" --target unit_tests
ctest --preset asan

echo "== thread tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target thread_tests
# TSan needs fewer address-space randomisation bits than recent kernels use.
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)" -gt 28 ]; then
  sysctl -qw vm.mmap_rnd_bits=28 2>/dev/null || true
fi
ctest --preset tsan --no-tests=ignore

echo "== fuzzers, 30 s each over their seed corpora"
FUZZ_JOBS="$(nproc)" bash scripts/fuzz.sh 30
