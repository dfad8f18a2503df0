#!/bin/sh
# Builds the filter and shows it at work on the bundled sample data.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh >/dev/null
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
cd "$demo"
echo "== A mail server's helper session, filter mode =="
printf '1 INTF 3\n2 KEY demo\n3 FILE Queue/missing.msg\n4 QUIT\n' | "$OLDPWD/build/verrowick"
