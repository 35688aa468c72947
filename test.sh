#!/usr/bin/env bash
# Sets everything up and runs the whole suite: an optimised build with tests and
# benchmarks, then the same tests under AddressSanitizer + UndefinedBehaviorSanitizer,
# the output tests under ThreadSanitizer, and each fuzz target for a while.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-packages.sh scripts/packages.txt

JOBS=2
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
GEN=(-G Ninja)

echo "== optimised build (build/) =="
cmake -S . -B build "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/) =="
cmake -S . -B build-asan "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFIXCASTER_SANITIZE=address,undefined -DFIXCASTER_BENCH=OFF
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp" \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS"

echo "== ThreadSanitizer, output tests (build-tsan/) =="
cmake -S . -B build-tsan "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFIXCASTER_SANITIZE=thread -DFIXCASTER_BENCH=OFF -DFIXCASTER_UI=OFF
if cmake --build build-tsan -j"$JOBS" --target help | grep -q '^output_tests'; then
  cmake --build build-tsan -j"$JOBS" --target output_tests
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j"$JOBS" -L output
fi

if ls fuzz/fuzz_*.cpp >/dev/null 2>&1; then
  echo "== fuzzing, ${FUZZ_SECONDS} s per target (build-fuzz/) =="
  CXX=clang++ cmake -S . -B build-fuzz "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFIXCASTER_FUZZ=ON -DFIXCASTER_TESTS=OFF -DFIXCASTER_BENCH=OFF -DFIXCASTER_UI=OFF \
    -DFIXCASTER_SANITIZE=address,undefined,fuzzer-no-link
  cmake --build build-fuzz -j"$JOBS"
  for src in fuzz/fuzz_*.cpp; do
    name=$(basename "$src" .cpp)
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    [ -d "fuzz/seeds/$name" ] && cp -n fuzz/seeds/"$name"/* "$corpus"/ 2>/dev/null || true
    echo "-- $name"
    build-fuzz/fuzz/"$name" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
    [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz target $name failed"; exit 1; }
  done
fi
echo "== all passed =="
