#!/bin/sh
# The Debian package from end to end: builds it with tools/package.sh (which
# also runs lintian, installed here when missing), installs it with dpkg,
# runs the installed filter in batch mode and in filter mode on sample mail
# made from tests/data/tnef/two-files.tnef, then removes and purges it and
# checks that nothing of it is left. Also checks that the manual page renders
# without warnings. Needs root; leaves the machine as it found it, also when
# a check fails or the script is interrupted.
set -eu
cd "$(dirname "$0")/.."
src=$(pwd)

if [ "$(id -u)" != 0 ]; then
  echo "package_test: needs root (dpkg), skipped"
  exit 0
fi
# Whether dpkg has no trace of the package (never installed, or purged).
not_installed() {
  case "$(dpkg-query -W -f='${Status}' verrowick 2>/dev/null || true)" in
    "" | *not-installed) return 0 ;;
    *) return 1 ;;
  esac
}
if ! not_installed; then
  echo "package_test: verrowick is installed on this machine; remove it first" \
    "with dpkg -P verrowick" >&2
  exit 1
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*" >&2
}
# check DESCRIPTION COMMAND...: runs the command, counts the result.
check() {
  what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}
# has TEXT FILE: FILE holds the line TEXT.
has() { grep -qxF -- "$1" "$2"; }

work=$(mktemp -d)
chmod 755 "$work"
we_installed=0
cleanup() {
  rc=$?
  trap - EXIT INT TERM HUP
  if [ "$we_installed" = 1 ] && ! not_installed; then
    dpkg -P verrowick >/dev/null 2>&1 || echo "package_test: could not purge verrowick" >&2
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

started=$(date +%s)

# Tools the checks use, installed when missing.
tools/install-packages.sh lintian man-db python3 >/dev/null

# --- The manual page renders without warnings.
out=$(man --warnings -l doc/verrowick.8 2>&1 >/dev/null)
check "man --warnings -l doc/verrowick.8 printed: $out" test -z "$out"

# --- Build the package (lintian checks it inside tools/package.sh).
if ! tools/package.sh >"$work/package.log" 2>&1; then
  cat "$work/package.log" >&2
  fail "tools/package.sh failed (lintian errors are listed above as E: lines)"
  echo "package_test: $passed passed, $failed failed"
  exit 1
fi
pass
deb=$(ls build-deb/verrowick_*_*.deb)
version=$(sed -n '1s/^verrowick (\([^)]*\)).*/\1/p' packaging/changelog)
arch=$(dpkg --print-architecture)
check "package file name" test "$deb" = "build-deb/verrowick_${version}_${arch}.deb"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' >"$work/contents"
for path in /usr/lib/verrowick/verrowick /usr/lib/verrowick/tnef \
  /usr/share/man/man8/verrowick.8.gz /usr/share/doc/verrowick/copyright \
  /usr/share/doc/verrowick/changelog.Debian.gz /usr/share/doc/verrowick/README.md \
  /usr/share/doc/verrowick/INSTALL; do
  check "$path in the package" has "$path" "$work/contents"
done
if [ -f rtf2html/CMakeLists.txt ]; then
  check "/usr/lib/verrowick/rtf2html in the package" \
    has /usr/lib/verrowick/rtf2html "$work/contents"
else
  echo "package_test: this tree has no rtf2html yet, its checks are left out"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for dep in tnef unrtf libboost-program-options; do
  check "Depends holds $dep: $depends" sh -c 'echo "$1" | grep -q "\(^\|, \)$2"' - "$depends" "$dep"
done

# --- Install.
we_installed=1
if ! dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y -q >>"$work/dpkg.log" 2>&1 || true
fi
check "verrowick installed: $(cat "$work/dpkg.log")" \
  sh -c 'dpkg-query -W -f="\${Status}" verrowick | grep -qx "install ok installed"'
prog=/usr/lib/verrowick/verrowick
check "$prog is executable" test -x "$prog"
check "/usr/lib/verrowick/tnef is a link to /usr/bin/tnef" \
  test "$(readlink -f /usr/lib/verrowick/tnef)" = "$(readlink -f /usr/bin/tnef)"
check "/usr/lib/verrowick is root's and 0755" \
  test "$(stat -c %U:%a /usr/lib/verrowick)" = root:755
if [ -f rtf2html/CMakeLists.txt ]; then
  check "/usr/lib/verrowick/rtf2html is executable" test -x /usr/lib/verrowick/rtf2html
fi
check "man finds verrowick(8)" test "$(man -w 8 verrowick)" = /usr/share/man/man8/verrowick.8.gz
out=$(man --warnings 8 verrowick 2>&1 >/dev/null)
check "the installed manual page renders without warnings: $out" test -z "$out"

# --- Sample mail: a message with a winmail.dat part, by default one that
# holds two files. message SUBJECT [TNEF-FILE]
message() {
  printf 'From: Alice <alice@example.com>\nTo: Bob <bob@example.com>\n'
  printf 'Subject: %s\nMIME-Version: 1.0\n' "$1"
  printf 'Content-Type: multipart/mixed; boundary="=_sep"\n\n'
  printf -- '--=_sep\nContent-Type: text/plain; charset=us-ascii\n\nTwo files are attached.\n\n'
  printf -- '--=_sep\nContent-Type: application/ms-tnef; name="winmail.dat"\n'
  printf 'Content-Transfer-Encoding: base64\n'
  printf 'Content-Disposition: attachment; filename="winmail.dat"\n\n'
  base64 "${2:-tests/data/tnef/two-files.tnef}"
  printf -- '\n--=_sep--\n'
}
plain() {
  printf 'From: alice@example.com\nTo: bob@example.com\nSubject: plain\n\nNo attachment.\n'
}
mkdir "$work/ref"
tnef -C "$work/ref" tests/data/tnef/two-files.tnef
# converted FILE: FILE holds each of the sample's files as a Base64 attachment
# with the right content, and no winmail.dat part any more.
converted() {
  python3 - "$1" "$work/ref" <<'EOF'
import email, os, sys
with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f)
parts = {p.get_filename(): p for p in msg.walk() if p.get_filename()}
if "winmail.dat" in parts or any(p.get_content_type() == "application/ms-tnef" for p in msg.walk()):
    sys.exit("winmail.dat part still present")
for name in sorted(os.listdir(sys.argv[2])):
    with open(os.path.join(sys.argv[2], name), "rb") as f:
        want = f.read()
    part = parts.get(name)
    if part is None:
        sys.exit("no attachment " + name)
    if part.get_payload(decode=True) != want:
        sys.exit("attachment %s differs from the file tnef extracts" % name)
EOF
}

# --- Batch mode on a small mailbox: two messages to convert (one in a
# subdirectory), one without attachment, one file that is not a message.
mbox="$work/mailbox"
mkdir -p "$mbox/sub"
message "first" >"$mbox/1"
plain >"$mbox/2"
message "third" >"$mbox/sub/3"
printf 'not a message\n' >"$mbox/notes.txt"
cp -a "$mbox" "$work/mailbox.orig"
chown -R nobody "$mbox"
chmod 600 "$mbox/1"
"$prog" -p "$mbox" >"$work/batch.out" 2>&1
check "batch: start-up found tnef" has "* Found tnef binary" "$work/batch.out"
check "batch: summary line" \
  has "* Batch done: 3 processed, 2 converted, 1 unchanged, 0 failed, 1 skipped" "$work/batch.out"
check "batch: message 1 converted" converted "$mbox/1"
check "batch: message sub/3 converted" converted "$mbox/sub/3"
check "batch: message 2 unchanged" cmp -s "$mbox/2" "$work/mailbox.orig/2"
check "batch: notes.txt unchanged" cmp -s "$mbox/notes.txt" "$work/mailbox.orig/notes.txt"
check "batch: owner and mode kept" test "$(stat -c %U:%a "$mbox/1")" = nobody:600
check "batch: no .tmp or .old left" test -z "$(find "$mbox" -name '*.tmp' -o -name '*.old')"
check "batch: work directory removed" test ! -e /usr/lib/verrowick/wmd_temp

# --- Batch mode as another user, from a directory of links (as INSTALL says).
vw="$work/vw"
mkdir "$vw" "$work/mailbox2"
ln -s /usr/lib/verrowick/verrowick /usr/lib/verrowick/tnef "$vw/"
if [ -e /usr/lib/verrowick/rtf2html ]; then ln -s /usr/lib/verrowick/rtf2html "$vw/"; fi
message "fourth" >"$work/mailbox2/4"
chown -R nobody "$vw" "$work/mailbox2"
runuser -u nobody -- "$vw/verrowick" -p "$work/mailbox2" >"$work/batch2.out" 2>&1
check "batch as nobody: summary line" \
  has "* Batch done: 1 processed, 1 converted, 0 unchanged, 0 failed, 0 skipped" "$work/batch2.out"
check "batch as nobody: message converted" converted "$work/mailbox2/4"

# --- The installed rtf2html turns an RTF body into an HTML part.
if [ -f rtf2html/CMakeLists.txt ]; then
  mkdir "$work/mailbox3"
  message "rtf" tests/data/tnef/rtf.tnef >"$work/mailbox3/5"
  "$prog" -p "$work/mailbox3" >"$work/batch3.out" 2>&1
  check "rtf2html: found at start-up" has "* Found rtf2html binary" "$work/batch3.out"
  check "rtf2html: RTF body converted" python3 - "$work/mailbox3/5" <<'EOF2'
import email, sys
with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f)
html = [p for p in msg.walk() if p.get_filename() == "saved_body.html"]
if len(html) != 1 or html[0].get_content_type() != "text/html":
    sys.exit("no text/html part saved_body.html")
if b"<" not in html[0].get_payload(decode=True):
    sys.exit("saved_body.html holds no HTML")
EOF2
fi

# --- Filter mode: one request for a queued message with an envelope.
base="$work/base"
mkdir -p "$base/Queue" "$base/Submitted"
{
  printf 'P I 06-12-2026 11:00:00 <Alice@Example.COM>\n'
  printf 'R W 06-12-2026 11:00:00 <Bob@Example.com>\n\n'
  message "queued"
} >"$base/Queue/1.msg"
cp "$base/Queue/1.msg" "$work/1.msg.orig"
(cd "$base" && printf '1 FILE Queue/1.msg\n' | "$prog" >"$work/filter.out" 2>&1)
check "filter: start-up found tnef" has "* Found tnef binary" "$work/filter.out"
check "filter: ready" has "* Ready to receive INTF command." "$work/filter.out"
check "filter: log line" has "* [1] Discarding message" "$work/filter.out"
check "filter: answer" has "1 DISCARD" "$work/filter.out"
check "filter: queued file unchanged" cmp -s "$base/Queue/1.msg" "$work/1.msg.orig"
set -- "$base"/Submitted/quillmeremailer_*.tmp.sub
check "filter: one released file in Submitted" test "$#" = 1 -a -f "$1"
sub=$1
check "filter: envelope and added header lines" test "$(head -n 4 "$sub")" = "$(printf \
  'Return-Path: alice@example.com\nEnvelope-To: bob@example.com\nX-WinmailDat: 1 attachments extracted.\nX-ExtScanner: Quillmere%ss Verrowick' "'")"
check "filter: submitted message converted" converted "$sub"
check "filter: work directory removed" test ! -e /usr/lib/verrowick/wmd_temp
# The submitted message comes back through the filter: it passes unchanged.
cp "$sub" "$base/Queue/2.msg"
(cd "$base" && printf '2 FILE Queue/2.msg\n' | "$prog" >"$work/filter2.out" 2>&1)
check "filter: converted message passes" has "2 OK" "$work/filter2.out"
check "filter: converted message recognised" \
  has "* This file has already been processed, skipping" "$work/filter2.out"

# --- Remove, then purge: nothing of the package may be left. A work directory
# left behind by a killed filter goes too.
mkdir /usr/lib/verrowick/wmd_temp
touch /usr/lib/verrowick/wmd_temp/winmail.dat
check "dpkg -r" dpkg -r verrowick >"$work/remove.log" 2>&1
check "removed: /usr/lib/verrowick gone" test ! -e /usr/lib/verrowick
check "removed: manual page gone" test ! -e /usr/share/man/man8/verrowick.8.gz
check "removed: documentation gone" test ! -e /usr/share/doc/verrowick
check "dpkg -P" dpkg -P verrowick >>"$work/remove.log" 2>&1
check "purged: dpkg knows no verrowick" not_installed
left=""
while read -r path; do
  case "$path" in
    *verrowick*) if [ -e "$path" ] || [ -L "$path" ]; then left="$left $path"; fi ;;
  esac
done <"$work/contents"
check "purged: nothing left:$left" test -z "$left"
we_installed=0

echo "package_test: took $(($(date +%s) - started)) s"
echo "package_test: $passed passed, $failed failed"
test "$failed" = 0
