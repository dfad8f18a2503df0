#!/bin/sh
# Installs the Debian packages that building and testing need, when missing,
# and builds the filter into build/. Run from anywhere, as root on a fresh
# machine (apt-get is only called when something is missing).
set -eu
cd "$(dirname "$0")/.."

# clang and its runtimes (libFuzzer, the sanitizers) serve tools/test.sh.
tools/install-packages.sh cmake make g++ clang libclang-rt-dev libboost-program-options-dev \
  libgtest-dev tnef unrtf python3 media-types "$@"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERROWICK_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
