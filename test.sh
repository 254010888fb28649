#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The whole test suite: every test once plain and once under AddressSanitizer and
# UndefinedBehaviorSanitizer; the launcher's black-box tests once more against the device
# build (configured from the plain build's pkg-config modules alone); a bounded run of
# each fuzz target; then every test again as 32-bit ARM code (the ARM leg).
#   FUZZ_SECONDS   seconds per fuzz target (default 30)
# ./test.sh --arm runs the ARM leg alone: an armhf root made with mmdebstrap from this
# machine's apt sources (build-arm/root, made again only when its package list changes),
# a cross build against it (build-arm) and every test program run inside it by qemu-user.
# ./test.sh --coverage (or COVERAGE=1) instead builds with gcc --coverage in
# build-coverage, runs every test once and prints the line and branch coverage of the
# launcher's own sources (src/, inc/, qor-service/), exception branches left out.
set -euo pipefail
cd "$(dirname "$0")"

mode=all
case "${1:-}" in
  "") ;;
  --arm) mode=arm ;;
  --coverage) mode=coverage ;;
  *) echo "usage: ./test.sh [--arm | --coverage]" >&2; exit 2 ;;
esac
[ "${COVERAGE:-0}" != "1" ] || mode=coverage

case $mode in
  all) ./tools/install-deps.sh --test --arm ;;
  arm) ./tools/install-deps.sh --arm ;;
  coverage) ./tools/install-deps.sh --test ;;
esac

if [ "$mode" = coverage ]; then
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

say() { printf '== %s (at %d s)\n' "$*" "$SECONDS"; }

count() {  # adds the counts of a ctest log to the totals
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1 || true)
  [ -n "$line" ] || { failed=$((failed + 1)); status=1; return; }
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# Runs ctest in a build folder (further arguments go to ctest), counts its cases and
# names each skipped one with its reason.
run_ctest() {  # build dir, log, ctest arguments...
  local dir=$1 log=$2
  shift 2
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300 "$@") 2>&1 | tee "$log" ||
    status=1
  count "$log"
  awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3 }
       /: Skipped$/ { getline why; print "skipped " name ": " why }' \
    "$dir/Testing/Temporary/LastTest.log"
}

run_suite() {  # build dir, extra cmake arguments...
  local dir=$1
  shift
  say "Building $dir"
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  say "Testing $dir"
  run_ctest "$dir" "$dir/ctest.log"
}

# The device build against the plain build's stand-in modules, found the way a device's
# are: PKG_CONFIG_PATH is all it is told. Its launcher then faces the black-box tests.
device_road() {
  say "Device road: build-device from build/pkgconfig"
  PKG_CONFIG_PATH=$PWD/build/pkgconfig cmake -S . -B build-device -DVORNIX_TIZEN_SDK=ON \
    >/dev/null
  cmake --build build-device -j"$jobs"
  say "Testing build-device/vornix with the launcher's black-box tests"
  VORNIX_LAUNCHER=$PWD/build-device/vornix run_ctest build build-device/ctest.log \
    -R '^(Launcher/|Demo\.)'
}

fuzz_one() {  # fuzzer: runs it on a scratch corpus seeded from fuzz/corpus/<name>/
  local fuzzer=$1 name corpus seeds
  name=$(basename "$fuzzer")
  corpus=build-fuzz/corpus/$name
  rm -rf "$corpus"
  mkdir -p "$corpus" build-fuzz/artifacts
  seeds=fuzz/corpus/$name
  [ ! -d "$seeds" ] || cp -R "$seeds/." "$corpus/"
  # Inputs up to 64 KiB: past the 4 KiB control-line limit with its header, and
  # requests and bundles of a size the platform still takes.
  "$fuzzer" -max_total_time="$fuzz_seconds" -max_len=65536 -print_final_stats=0 \
    -artifact_prefix="build-fuzz/artifacts/$name-" "$corpus" >"$fuzzer.log" 2>&1
}

fuzz_all() {  # as many targets at a time as there are cores
  say "Fuzzing, ${fuzz_seconds}s per target, $jobs at a time"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVORNIX_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build-fuzz -j"$jobs"
  local fuzzers=() i j pids
  for f in build-fuzz/fuzz/*_fuzz; do [ ! -x "$f" ] || fuzzers+=("$f"); done
  for ((i = 0; i < ${#fuzzers[@]}; i += jobs)); do
    pids=()
    for ((j = i; j < i + jobs && j < ${#fuzzers[@]}; ++j)); do
      fuzz_one "${fuzzers[j]}" &
      pids+=($!)
    done
    for ((j = i; j < i + ${#pids[@]}; ++j)); do
      if wait "${pids[j - i]}"; then
        echo "fuzz $(basename "${fuzzers[j]}"): clean"
        passed=$((passed + 1))
      else
        echo "fuzz $(basename "${fuzzers[j]}"): FAILED (inputs in build-fuzz/artifacts/)"
        tail -n 40 "${fuzzers[j]}.log"
        failed=$((failed + 1))
        status=1
      fi
    done
  done
}

# --- The ARM leg ----------------------------------------------------------------
# The root holds the build's -dev packages for armhf and what the tests run.
arm_packages=(libefl-all-dev libxml2-dev libglib2.0-dev libgtest-dev libstdc++6
  bash coreutils dash grep sed mawk util-linux)

arm_fail() {  # why the leg cannot run
  echo "ARM leg FAILED: $*"
  failed=$((failed + 1))
  status=1
}

# Why this machine cannot run armhf programs in a root, or nothing.
arm_emulation_missing() {
  local handler=/proc/sys/fs/binfmt_misc/qemu-arm
  command -v arm-linux-gnueabihf-g++ >/dev/null || { echo "no arm-linux-gnueabihf-g++"; return; }
  command -v mmdebstrap >/dev/null || { echo "no mmdebstrap"; return; }
  [ -e /proc/sys/fs/binfmt_misc/status ] || { echo "binfmt_misc is not mounted"; return; }
  [ -e "$handler" ] || { echo "qemu-arm is not registered in binfmt_misc"; return; }
  grep -qx enabled "$handler" || { echo "qemu-arm is disabled in binfmt_misc"; return; }
  # In a root the emulator's own path is gone: it must be opened when registered.
  grep -q '^flags:.*F' "$handler" ||
    echo "qemu-arm is registered without the F flag (use qemu-user-static)"
}

# Makes build-arm/root from this machine's apt sources, unless the one there was made
# from the same package list the same way. A root is taken only once complete.
arm_root() {
  local root=build-arm/root key sources=() s suite
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  key=$( (echo "$suite" "${arm_packages[@]}" && declare -f arm_root) | sha256sum | cut -c1-16)
  if [ "$(cat "$root/.vornix-packages" 2>/dev/null)" = "$key" ]; then
    echo "armhf root: reused ($root)"
    return
  fi
  for s in /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources; do
    if grep -qsv '^\s*\(#.*\)\?$' "$s"; then sources+=("$s"); fi  # not only comments
  done
  if [ -z "$suite" ] || [ ${#sources[@]} -eq 0 ]; then
    echo "no release name or apt sources on this machine"
    return 1
  fi
  echo "armhf root: making $root ($suite, from ${sources[*]})"
  rm -rf --one-file-system "$root" "$root.new"
  if ! mmdebstrap --variant=extract --arch=armhf --include="$(IFS=,; echo "${arm_packages[*]}")" \
    "$suite" "$root.new" "${sources[@]}" >build-arm/mmdebstrap.log 2>&1; then
    tail -n 20 build-arm/mmdebstrap.log
    echo "mmdebstrap failed (build-arm/mmdebstrap.log)"
    return 1
  fi
  # As on an installed system, where base-files' installation makes it.
  mkdir -p "$root.new/opt"
  echo "$key" >"$root.new/.vornix-packages"
  mv "$root.new" "$root"
}

arm_build() {  # configures and builds build-arm against the root
  local root=$PWD/build-arm/root
  cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux.cmake \
    -DCMAKE_SYSROOT="$root" -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/tools/in-root.sh;$root" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  # The test programs and what they run (the benchmarks and the strict builds of the
  # launcher's sources stay on x86-64).
  cmake --build build-arm -j"$jobs" --target vornix-unit-tests vornix-ui-tests \
    vornix-blackbox-tests
}

# Once the root is whole (at once with "now"), starts the ARM build in the background at
# the lowest priority: beside the x86-64 legs it takes only the time they leave idle.
arm_start_build() {
  [ -z "$arm_missing" ] && [ -z "$build_job" ] || return 0
  [ "${1:-}" = now ] || ! kill -0 "$root_job" 2>/dev/null || return 0
  wait "$root_job" || root_failed=1
  [ "$root_failed" -eq 0 ] || return 0
  set -m  # a process group of its own, ended with the run
  (renice -n 19 -p "$BASHPID" >/dev/null && arm_build) >build-arm/build.log 2>&1 &
  build_job=$!
  set +m
}

arm_leg() {
  local start=$SECONDS why="" root=$PWD/build-arm/root
  say "ARM leg: 32-bit armhf, every test program under qemu-user in build-arm/root"
  [ -z "$arm_missing" ] || { arm_fail "$arm_missing"; return; }
  arm_start_build now
  cat build-arm/root.log
  [ "$root_failed" -eq 0 ] || { arm_fail "no armhf root"; return; }
  say "Building build-arm"
  wait "$build_job" || why="the ARM build failed"
  cat build-arm/build.log
  [ -z "$why" ] || { arm_fail "$why"; return; }
  # An armhf program of the root, run the way the tests will be.
  why=$(tools/in-root.sh "$root" /bin/uname -m 2>&1) && [ "${why#armv}" != "$why" ] ||
    { arm_fail "cannot run the root's programs: $why"; return; }
  say "Testing build-arm (as $why)"
  run_ctest build-arm build-arm/ctest.log
  echo "ARM leg: $((SECONDS - start)) s"
}

# The root is made meanwhile (that mostly waits for the network), then the ARM build.
# However the run ends, it ends with the root whole and no build left running.
arm_missing=$(arm_emulation_missing)
root_job="" root_failed=0 build_job=""
if [ -z "$arm_missing" ]; then
  mkdir -p build-arm
  arm_root >build-arm/root.log 2>&1 &
  root_job=$!
  trap '[ -z "$build_job" ] || kill -- -"$build_job" 2>/dev/null || true; wait' EXIT
fi

if [ "$mode" = all ]; then
  run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIX_STRICT=ON
  arm_start_build
  device_road
  arm_start_build
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVORNIX_SANITIZE=ON
  arm_start_build
  fuzz_all
fi
arm_leg

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit $status
