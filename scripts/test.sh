#!/usr/bin/env bash
# Runs every test: the full suite in the normal build (unit and integration:
# nginx on loopback, real zip tools, SDL under Xvfb), the unit tests again under
# AddressSanitizer and UBSan, and each libFuzzer target briefly from its seeds.
# All three builds treat warnings as errors. FUZZ_SECONDS sets the time per
# fuzz target (default 20). The closing line counts what ctest reported as
# run (its JUnit files) and the fuzz targets that ran.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)
failed=0

bash scripts/setup.sh

echo "== tests (build/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTG_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
rm -f build/ctest-junit.xml
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600 --output-junit "$top/build/ctest-junit.xml" || failed=1

echo "== unit tests under AddressSanitizer and UBSan (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTG_SANITIZE=ON -DTG_BENCH=OFF -DTG_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
rm -f build-asan/ctest-junit.xml
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L unit --timeout 600 \
        --output-junit "$top/build-asan/ctest-junit.xml" || failed=1

echo "== fuzz targets (build-fuzz/)"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTG_FUZZ=ON -DBUILD_TESTING=OFF -DTG_BENCH=OFF -DTG_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzzers
seconds=${FUZZ_SECONDS:-20}
fuzz_passed=0
fuzz_failed=0
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
    fuzz_failed=$((fuzz_failed + 1))
    failed=1
    continue
  fi
  grep -E '^Done [0-9]+ runs' "$work/fuzz.log" || true
  fuzz_passed=$((fuzz_passed + 1))
  rm -rf "$work"
done < build-fuzz/fuzzers.txt

# passed, failed and skipped test cases of ctest's JUnit files (a missing
# file counts nothing: that stage did not run).
counts=$(python3 - build/ctest-junit.xml build-asan/ctest-junit.xml <<'PY'
import os, sys
import xml.etree.ElementTree as ET
passed = failed = skipped = 0
for path in sys.argv[1:]:
    if not os.path.exists(path):
        continue
    for case in ET.parse(path).getroot().iter("testcase"):
        status = case.get("status")
        if status == "fail" or case.find("failure") is not None:
            failed += 1
        elif status in ("notrun", "disabled") or case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
print(passed, failed, skipped)
PY
)
read -r passed failed_cases skipped <<< "$counts"
passed=$((passed + fuzz_passed))
failed_cases=$((failed_cases + fuzz_failed))
if ((failed == 0 && failed_cases == 0)); then
  echo "== all tests passed"
else
  echo "== some tests failed"
fi
echo "tests: $passed passed, $failed_cases failed, $skipped skipped"
((failed == 0 && failed_cases == 0))
