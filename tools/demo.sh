#!/bin/sh
# Builds the filter and shows it at work on the bundled sample data: a mailbox
# converted in batch mode, then a mail server's helper session in filter mode.
# Works on copies in a temporary directory; the bundled files stay as they are.
set -eu
cd "$(dirname "$0")/.."
tools/setup.sh >/dev/null
top=$(pwd)
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT

echo "=== Batch mode: converting a copy of samples/mailbox ==="
cp -r samples/mailbox "$demo/mailbox"
echo "Before:"
python3 tools/mime_outline.py "$demo/mailbox/1001" "$demo/mailbox/1004"
echo
"$top/build/verrowick" --path "$demo/mailbox"
echo
echo "After:"
python3 tools/mime_outline.py --show-html "$demo/mailbox/1001" "$demo/mailbox/1004" \
  "$demo/mailbox/1002" "$demo/mailbox/Archive/2001"

echo
echo "=== Filter mode: a helper session on copies of samples/queue ==="
mkdir -p "$demo/base/Submitted"
cp -r samples/queue "$demo/base/Queue"
cd "$demo/base"
printf '1 INTF 3\n2 FILE Queue/1.msg\n3 FILE Queue/2.msg\n4 FILE Queue/3.msg\n5 FILE Queue/4.msg\n6 QUIT\n' |
  "$top/build/verrowick"
echo
echo "Submitted by the filter (the server delivers these instead of 1, 2 and 4):"
for f in Submitted/*.sub; do
  head -n 5 "$f" | sed 's/^/    /'
  python3 "$top/tools/mime_outline.py" "$f" | tail -n +2
done
echo
echo "A converted message that comes back through the filter is left alone:"
first=$(ls Submitted/*.sub | head -n 1)
printf '7 FILE %s\n' "$first" | "$top/build/verrowick" | tail -n 3
