#!/bin/sh
# Builds the Debian package build-deb/verrowick_VERSION-REVISION_ARCH.deb:
# installs the Debian packages that building needs, when missing (apt-get is
# only called then, as root), builds in build-deb/ with Debian's hardening
# flags, runs cpack, checks that the package holds the programs, and checks
# it with lintian when lintian is installed (an error from lintian fails the
# build).
set -eu
cd "$(dirname "$0")/.."

tools/install-packages.sh cmake make g++ libboost-program-options-dev tnef dpkg-dev file \
  binutils gzip

# Files and directories in the package must not be group or world writable.
umask 022
build=build-deb
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERROWICK_TESTS=OFF \
  -DVERROWICK_DEBIAN_DOCS=ON -DCMAKE_INSTALL_PREFIX=/usr -DTNEF_PROGRAM=/usr/bin/tnef \
  -DYTNEF_PROGRAM=/usr/bin/ytnef -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/verrowick_*.deb
# cpack talks on standard error even when all is well: its output is shown
# only when it fails.
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  cat "$build/cpack.log" >&2
  exit 1
fi
deb=$(ls "$build"/verrowick_*.deb)

# The programs the filter runs must be in the package. The listing is read
# whole (a reader that stops early would kill dpkg-deb's tar with SIGPIPE).
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for path in ./usr/lib/verrowick/verrowick ./usr/lib/verrowick/rtf2html ./usr/lib/verrowick/tnef \
    ./usr/lib/verrowick/ytnef; do
  if ! printf '%s\n' "$contents" | grep -qxF "$path"; then
    echo "$deb lacks ${path#.}" >&2
    exit 1
  fi
done
if command -v lintian >/dev/null; then
  echo "Checking with lintian:"
  # Root is who builds here (apt-get); lintian only reads the package just built.
  lintian --allow-root --info "$deb"
fi
echo "Built $deb"
