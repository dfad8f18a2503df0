#!/bin/sh
# Builds the filter and shows it at work on the bundled sample data: a mailbox
# converted in batch mode, then a mail server's helper session in filter mode.
# Works on copies in a temporary directory; the bundled files stay as they are.
set -eu
cd "$(dirname "$0")/.."
echo "=== Installing the packages that are missing, then building build/ ==="
tools/setup.sh
echo
top=$(pwd)
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT

echo "=== Batch mode: converting a copy of samples/mailbox ==="
cp -r samples/mailbox "$demo/mailbox"
echo "Before: 1001 and 1004 (1002 and Archive/2001 hold a winmail.dat part too, 1003 none):"
python3 tools/mime_outline.py "$demo/mailbox/1001" "$demo/mailbox/1004"
echo
"$top/build/verrowick" --path "$demo/mailbox"
echo
echo "After: 1001, 1004, 1002 and Archive/2001:"
python3 tools/mime_outline.py --show-html "$demo/mailbox/1001" "$demo/mailbox/1004" \
  "$demo/mailbox/1002" "$demo/mailbox/Archive/2001"

echo
echo "=== Filter mode: a helper session on copies of samples/queue ==="
mkdir -p "$demo/base/Submitted"
cp -r samples/queue "$demo/base/Queue"
cd "$demo/base"
printf '1 INTF 3\n2 FILE Queue/1.msg\n3 FILE Queue/2.msg\n4 FILE Queue/3.msg\n5 FILE Queue/4.msg\n6 QUIT\n' |
  "$top/build/verrowick"
# The queue files' names are not in request order: each is found by the
# Message-ID of the message it replaces.
submitted() { grep -lxF "$(grep -m 1 '^Message-ID:' "Queue/$1.msg")" Submitted/*.sub; }
for n in 1 2 4; do
  f=$(submitted "$n")
  echo
  echo "Submitted in place of Queue/$n.msg: $f"
  head -n 5 "$f" | sed 's/^/    /'
  python3 "$top/tools/mime_outline.py" "$f" | tail -n +2
done
echo
f=$(submitted 1)
echo "Filtered once more, the converted Queue/1.msg ($f) is left alone:"
printf '7 FILE %s\n' "$f" | "$top/build/verrowick" | tail -n 3
