#!/bin/sh
# Installs the Debian packages that building and testing need, when missing,
# and builds the filter and its tests into build/ (tests on, whatever an
# earlier configuration of build/ said). Run from anywhere, as root on a fresh
# machine (apt-get is only called when something is missing).
set -eu
cd "$(dirname "$0")/.."

# clang and its runtimes (libFuzzer, the sanitizers) and clang-format serve
# tools/test.sh; ytnef-tools converts calendar items, the end-to-end tests
# read them with python3-icalendar; media-types gives /etc/mime.types.
tools/install-packages.sh cmake make g++ clang libclang-rt-dev clang-format \
  libboost-program-options-dev libgtest-dev tnef ytnef-tools media-types python3 \
  python3-icalendar "$@"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERROWICK_WERROR=ON -DVERROWICK_TESTS=ON \
  >/dev/null
cmake --build build -j "$(nproc)"
