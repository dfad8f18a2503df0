#!/bin/sh
# Builds the filter and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
