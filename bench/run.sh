#!/bin/sh
# Builds the filter in release mode and prints its performance figures, each
# beside a baseline measured in the same run. Needs about 1 GB of free space
# in the work directory (default: a new directory under /var/tmp).
# Usage: bench/run.sh [--quick]
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh >/dev/null
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVERROWICK_TESTS=OFF -DVERROWICK_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)" >/dev/null
work=$(mktemp -d /var/tmp/verrowick-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
build-bench/bench/codec_bench "$work"
echo
python3 bench/bench.py build-bench "$work" "$@"
