#!/bin/sh
# Checks that every C++ file is formatted as .clang-format says, builds the
# filter and runs the whole test suite: first as built for use in build/
# (tools/setup.sh turns the tests on there, also after INSTALL's configuration
# without them), then once more built with clang under AddressSanitizer (LeakSanitizer
# included) and UndefinedBehaviorSanitizer in build-asan/, then the tests of
# what runs on several threads under ThreadSanitizer in build-tsan/, then every
# fuzz target for a few seconds (fuzz/run.sh). A build that holds no test fails.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh
# Any difference from .clang-format (clang-format 14) fails the run.
find . -path './build*' -prune -o \( -name '*.cc' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run -Werror
ctest --test-dir build --no-tests=error --output-on-failure -j "$(nproc)"
# The Debian package: built, installed, used and removed again (dpkg: root only).
if [ "$(id -u)" = 0 ]; then
  tests/package_test.sh
fi

cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERROWICK_WERROR=ON -DVERROWICK_TESTS=ON -DVERROWICK_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$(nproc)"
# Reports go to files as well as failing their process, so one from a
# process whose exit status or standard error no test looks at (a filter
# run by an end-to-end test, say) still fails the suite.
reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
# Shows the reports written and fails the run when there are any.
check_reports() {
  for report in "$reports"/*; do
    [ -e "$report" ] || continue
    echo "== sanitizer report $(basename "$report")"
    cat "$report"
    status=1
  done
  if [ "$status" -ne 0 ]; then
    echo "The $1 run failed"
    exit "$status"
  fi
}
status=0
ASAN_OPTIONS="detect_leaks=1:log_path=$reports/asan" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan" \
  ctest --test-dir build-asan --no-tests=error --output-on-failure -j "$(nproc)" || status=$?
check_reports sanitizer

# Under ThreadSanitizer only what the tests of the threaded code need is built.
cmake -S . -B build-tsan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERROWICK_WERROR=ON -DVERROWICK_TESTS=ON -DVERROWICK_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$(nproc)" --target verrowick rtf2html orv_work_queue_test \
  orv_line_stream_test orv_process_test cgp_queue_writer_test
TSAN_OPTIONS="halt_on_error=1:log_path=$reports/tsan" \
  ctest --test-dir build-tsan --no-tests=error --output-on-failure -j "$(nproc)" -R \
  '^(orv_(work_queue|line_stream|process)_test|cgp_queue_writer_test|e2e_(workers|batch|filter_on_workers))$' \
  || status=$?
check_reports ThreadSanitizer

fuzz/run.sh
