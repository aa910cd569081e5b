#!/usr/bin/env bash
# Runs every test: the full suite in the normal build (unit and integration:
# nginx on loopback, real zip tools, SDL under Xvfb), the unit tests again under
# AddressSanitizer and UBSan, and each libFuzzer target briefly from its seeds.
# FUZZ_SECONDS sets the time per fuzz target (default 20).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

bash scripts/setup.sh

echo "== tests (build/)"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

echo "== unit tests under AddressSanitizer and UBSan (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTG_SANITIZE=ON -DTG_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L unit --timeout 600

echo "== fuzz targets (build-fuzz/)"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTG_FUZZ=ON -DBUILD_TESTING=OFF -DTG_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzzers
seconds=${FUZZ_SECONDS:-20}
while read -r name corpus; do
  [[ -n "$name" ]] || continue
  echo "-- $name (${seconds}s)"
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/
  binary=$(find build-fuzz -name "$name" -type f -perm -u+x | head -n1)
  if ! ASAN_OPTIONS=detect_leaks=1 "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 \
       -artifact_prefix="$work/" "$work" > "$work/fuzz.log" 2>&1 < /dev/null; then
    tail -n 60 "$work/fuzz.log"
    echo "FAILED: $name (inputs kept in $work)" >&2
    exit 1
  fi
  grep -E '^Done [0-9]+ runs' "$work/fuzz.log" || true
  rm -rf "$work"
done < build-fuzz/fuzzers.txt
count() { ctest --test-dir "$1" -N ${2:-} | sed -n 's/^Total Tests: //p'; }
fuzzers=$(grep -c . build-fuzz/fuzzers.txt)
echo "== all tests passed"
echo "tests: $(( $(count build) + $(count build-asan "-L unit") + fuzzers )) passed, 0 failed"
