#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The whole test suite: every test once plain and once under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a bounded run of each fuzz target.
#   FUZZ_SECONDS   seconds per fuzz target (default 30)
# ./test.sh --coverage (or COVERAGE=1) instead builds with gcc --coverage in
# build-coverage, runs every test once and prints the line and branch coverage of the
# launcher's own sources (src/, inc/, qor-service/), exception branches left out.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh

if [ "${1:-}" = "--coverage" ] || [ "${COVERAGE:-0}" = "1" ]; then
  dir=build-coverage
  echo "== Building $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage" \
    -DCMAKE_C_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
    -DCMAKE_SHARED_LINKER_FLAGS="--coverage" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  find "$dir" -name '*.gcda' -delete
  echo "== Testing $dir"
  status=0
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 300) || status=1
  echo "== Coverage of src/, inc/, qor-service/ (exception branches left out)"
  cover=(gcovr --root . --object-directory "$dir" --filter 'src/' --filter 'inc/'
    --filter 'qor-service/' --exclude-throw-branches --exclude-directories "$dir/CMakeFiles/[0-9.]+")
  "${cover[@]}" --txt "$dir/coverage-lines.txt"
  "${cover[@]}" --branches --txt "$dir/coverage-branches.txt" --print-summary
  cat "$dir/coverage-lines.txt" "$dir/coverage-branches.txt"
  exit $status
fi

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
passed=0
failed=0
status=0

count() {  # adds the counts of a ctest log to the totals
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1 || true)
  [ -n "$line" ] || { failed=$((failed + 1)); return; }
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

run_suite() {  # build dir, extra cmake arguments...
  local dir=$1
  shift
  echo "== Building $dir"
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== Testing $dir"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300) 2>&1 | tee "$dir/ctest.log" ||
    status=1
  count "$dir/ctest.log"
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIX_STRICT=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVORNIX_SANITIZE=ON

echo "== Fuzzing, ${fuzz_seconds}s per target"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVORNIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >/dev/null
cmake --build build-fuzz -j"$jobs"
for fuzzer in build-fuzz/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  corpus=$(mktemp -d)
  if "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" \
    >"$fuzzer.log" 2>&1; then
    echo "fuzz $(basename "$fuzzer"): clean"
    passed=$((passed + 1))
  else
    echo "fuzz $(basename "$fuzzer"): FAILED"
    tail -n 40 "$fuzzer.log"
    failed=$((failed + 1))
    status=1
  fi
  rm -rf "$corpus"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit $status
