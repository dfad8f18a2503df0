#!/bin/sh
# Builds the filter and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
# The Debian package: built, installed, used and removed again (dpkg: root only).
if [ "$(id -u)" = 0 ]; then
  tests/package_test.sh
fi
