#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; then the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the engine's threaded tests under
# ThreadSanitizer. LUMORA_SANITIZERS=0 bash scripts/test.sh leaves the sanitizer builds out.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh" run demo test

echo "== Build and test"
bash "$top/scripts/build.sh" "$top/build" -DBUILD_TESTING=ON -DLUMORA_BUILD_BENCHMARKS=ON
ctest --test-dir "$top/build" --no-tests=error --output-on-failure -j 2 --timeout 600

[ "${LUMORA_SANITIZERS:-1}" = 0 ] && exit 0

# The end-to-end run, packaging and the data generators gain nothing from instrumented builds
# and have run above. The real outputs (the `sound` label) run under both, against the test's
# private null sink: their threads are where races and leaks would be.
plain_only='e2e|packaging|data'

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
bash "$top/scripts/build.sh" "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug \
  -DLUMORA_SANITIZE=address,undefined -DLUMORA_BUILD_BENCHMARKS=OFF
# intercept_tls_get_addr=0: GCC 12's leak checker takes a block of dynamic thread-local storage
# that happens to start 16 bytes into a page for one with an old glibc's header, reads a bogus
# range from before it and crashes at exit ("Tracer caught signal 11") after a test has passed.
# It then no longer scans such blocks (the Qt plugins' and the loaded module's thread-locals).
ASAN_OPTIONS=abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$top/build-asan" --output-on-failure -j 2 --timeout 900 -LE "$plain_only"

echo "== ThreadSanitizer: the engine, the media control, the real outputs, Play All and the faults"
bash "$top/scripts/build.sh" "$top/build-tsan" -DCMAKE_BUILD_TYPE=Debug \
  -DLUMORA_SANITIZE=thread -DLUMORA_BUILD_BENCHMARKS=OFF
TSAN_OPTIONS="halt_on_error=1 suppressions=$top/tests/mediacontrol/tsan.supp" \
  ctest --test-dir "$top/build-tsan" --output-on-failure -j 2 --timeout 900 \
  -L 'engine|mediacontrol|sound|autoplay|faults|soak' -LE "$plain_only"
