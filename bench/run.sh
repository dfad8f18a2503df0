#!/bin/sh
# Builds the filter in release mode and prints its performance figures, each
# beside a baseline measured in the same run. Needs about 1 GB of free space
# in the work directory (default: a new directory under /var/tmp). With
# BASELINE set to a git revision, that revision is built too and --workers 1
# is measured beside it.
# Usage: [BASELINE=revision] bench/run.sh [--quick]
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh >/dev/null
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVERROWICK_TESTS=OFF -DVERROWICK_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)" >/dev/null
work=$(mktemp -d /var/tmp/verrowick-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
baseline=
if [ -n "${BASELINE:-}" ]; then
  mkdir "$work/baseline-src"
  git archive "$BASELINE" | tar -x -C "$work/baseline-src"
  cmake -S "$work/baseline-src" -B "$work/baseline" -DCMAKE_BUILD_TYPE=Release \
    -DVERROWICK_TESTS=OFF >/dev/null
  cmake --build "$work/baseline" -j "$(nproc)" --target verrowick >/dev/null
  baseline="--baseline $work/baseline"
fi
build-bench/bench/codec_bench "$work"
echo
# shellcheck disable=SC2086
python3 bench/bench.py build-bench "$work" "$@" $baseline
