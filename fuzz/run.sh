#!/bin/sh
# Builds the fuzz targets with clang into build-fuzz/ and runs each one for a
# bounded time on a copy of its seed corpus in fuzz/corpus/ (the committed
# corpus is never written). Any crash, leak, timeout, failed property or
# sanitizer report fails the run; the input that caused it is kept in
# build-fuzz/artifacts/<target>/. Every fuzz target has a corpus directory.
#
#   fuzz/run.sh                      every target, FUZZ_SECONDS (10) each
#   FUZZ_SECONDS=600 fuzz/run.sh getline_fuzzer
#   FUZZ_CORPUS=dir fuzz/run.sh T    grow dir/T instead of a throw-away copy
set -eu
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-10}
if [ $# -gt 0 ]; then
  targets="$*"
else
  targets=$(cd fuzz/corpus && ls)
fi

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERROWICK_FUZZ=ON -DVERROWICK_TESTS=OFF -DVERROWICK_WERROR=ON >/dev/null
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Targets make their private directories here; one that crashes leaves its
# directory behind, and this way it goes too.
mkdir "$work/tmp"
export TMPDIR="$work/tmp"
failed=""
for target in $targets; do
  if [ -n "${FUZZ_CORPUS:-}" ]; then
    corpus="$FUZZ_CORPUS/$target"
    mkdir -p "$corpus"
    cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  else
    corpus="$work/$target"
    cp -R fuzz/corpus/"$target" "$corpus"
  fi
  artifacts="build-fuzz/artifacts/$target"
  rm -rf "$artifacts"
  mkdir -p "$artifacts"
  log="$work/$target.log"
  if build-fuzz/fuzz/"$target" -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 runs in \2 s/p' "$log")
    echo "fuzz: $target: ${runs:-no count} ($(ls "$corpus" | wc -l) inputs in corpus)"
    rmdir "$artifacts" 2>/dev/null || true
  else
    echo "fuzz: $target FAILED; the end of its log:"
    tail -n 60 "$log"
    echo "fuzz: reproduce with build-fuzz/fuzz/$target $artifacts/<file>"
    failed="$failed $target"
  fi
done

if [ -n "$failed" ]; then
  echo "fuzz: failed:$failed"
  exit 1
fi
