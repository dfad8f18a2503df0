#!/bin/sh
# The Debian package from end to end: builds it with tools/package.sh (which
# also runs lintian, installed here when missing), checks its contents and
# dependencies, installs it with dpkg, converts sample mail made from
# tests/data/tnef in batch mode and in filter mode (as root, where strace shows
# that the converters run as the package's user verrowick), then removes and
# purges it and checks that nothing of it but that user is left. Needs root;
# leaves the machine as it found it (the user too), also when a check fails or
# the script is interrupted.
set -eu
cd "$(dirname "$0")/.."

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
  echo "package_test: verrowick is installed here; remove it first with dpkg -P verrowick" >&2
  exit 1
fi

failed=0
# check DESCRIPTION COMMAND...: runs the command; says so when it fails.
check() {
  what=$1
  shift
  "$@" || { failed=$((failed + 1)) && echo "FAIL: $what" >&2; }
}
# has TEXT FILE: FILE holds the line TEXT.
has() { grep -qxF -- "$1" "$2"; }

work=$(mktemp -d)
chmod 755 "$work"
we_installed=0
had_user=0
if getent passwd verrowick >/dev/null; then had_user=1; fi
cleanup() {
  rc=$?
  trap - EXIT INT TERM HUP
  if [ "$we_installed" = 1 ] && ! not_installed; then
    dpkg -P verrowick >/dev/null 2>&1 || echo "package_test: could not purge verrowick" >&2
  fi
  if [ "$had_user" = 0 ] && getent passwd verrowick >/dev/null; then
    userdel verrowick || echo "package_test: could not remove the user verrowick" >&2
    groupdel verrowick 2>/dev/null || true
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

tools/install-packages.sh lintian man-db strace >/dev/null
if ! tools/package.sh >"$work/package.log" 2>&1; then
  cat "$work/package.log" >&2
  echo "FAIL: tools/package.sh failed (lintian errors are listed above as E: lines)" >&2
  exit 1
fi
deb=$(ls build-deb/verrowick_*_*.deb)
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' >"$work/contents"
for path in /usr/lib/verrowick/verrowick /usr/lib/verrowick/tnef /usr/lib/verrowick/rtf2html \
  /usr/share/man/man8/verrowick.8.gz /usr/share/doc/verrowick/copyright \
  /usr/share/doc/verrowick/changelog.Debian.gz /usr/share/doc/verrowick/README.md \
  /usr/share/doc/verrowick/INSTALL; do
  check "$path in the package" has "$path" "$work/contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in tnef media-types adduser libboost-program-options; do
  check "Depends holds $dep: $depends" sh -c 'echo "$1" | grep -qE "(^|, )$2"' - "$depends" "$dep"
done
check "Depends holds no unrtf" sh -c '! echo "$1" | grep -q unrtf' - "$depends"
check "Recommends is ytnef-tools" test "$(dpkg-deb -f "$deb" Recommends)" = ytnef-tools

we_installed=1
if ! dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y -q >>"$work/dpkg.log" 2>&1 || true
fi
check "verrowick installed: $(cat "$work/dpkg.log")" \
  test "$(dpkg-query -W -f='${Status}' verrowick)" = "install ok installed"
check "/usr/lib/verrowick/tnef is a link to /usr/bin/tnef" \
  test "$(readlink -f /usr/lib/verrowick/tnef)" = "$(readlink -f /usr/bin/tnef)"
check "/usr/lib/verrowick is root's and 0755" \
  test "$(stat -c %U:%a /usr/lib/verrowick)" = root:755
check "the system user verrowick exists, without home or login" \
  test "$(getent passwd verrowick | cut -d: -f6,7)" = /nonexistent:/usr/sbin/nologin
check "man finds verrowick(8)" test "$(man -w 8 verrowick)" = /usr/share/man/man8/verrowick.8.gz
out=$(man --warnings 8 verrowick 2>&1 >/dev/null)
check "the manual page renders without warnings: $out" test -z "$out"

# message SUBJECT TNEF-FILE: a message with a winmail.dat part.
message() {
  printf 'From: Alice <alice@example.com>\nTo: Bob <bob@example.com>\n'
  printf 'Subject: %s\nMIME-Version: 1.0\n' "$1"
  printf 'Content-Type: multipart/mixed; boundary="=_sep"\n\n'
  printf -- '--=_sep\nContent-Type: text/plain; charset=us-ascii\n\nFiles are attached.\n\n'
  printf -- '--=_sep\nContent-Type: application/ms-tnef; name="winmail.dat"\n'
  printf 'Content-Transfer-Encoding: base64\n\n'
  base64 "tests/data/tnef/$2.tnef"
  printf -- '\n--=_sep--\n'
}
# Batch mode as another user from a directory of links (as INSTALL says), one
# message in a subdirectory.
mbox="$work/mailbox"
mkdir -p "$mbox/sub" "$work/vw"
ln -s /usr/lib/verrowick/verrowick /usr/lib/verrowick/tnef /usr/lib/verrowick/rtf2html "$work/vw/"
message "first" two-files >"$mbox/1"
message "second" rtf >"$mbox/sub/2"
chown -R nobody "$mbox" "$work/vw"
runuser -u nobody -- "$work/vw/verrowick" -p "$mbox" >"$work/batch.out" 2>&1
check "batch: summary line" \
  has "* Batch done: 2 processed, 2 converted, 0 unchanged, 0 failed, 0 skipped" "$work/batch.out"
# The converters found through the links: tnef's files, rtf2html's HTML body.
for name in AUTHORS README saved_body.html; do
  check "batch: $name inserted" has "* Inserting file \"$name\"" "$work/batch.out"
done

# Filter mode with the installed program: one request for a queued message.
base="$work/base"
mkdir -p "$base/Queue"
{
  printf 'P I 06-12-2026 11:00:00 <alice@example.com>\n'
  printf 'R W 06-12-2026 11:00:00 <bob@example.com>\n\n'
  message "queued" two-files
} >"$base/Queue/1.msg"
(cd "$base" && printf '1 FILE Queue/1.msg\n' | strace -f -qq -e trace=setuid,execve \
  -o "$work/strace" /usr/lib/verrowick/verrowick >"$work/filter.out")
check "filter: answer" has "1 DISCARD" "$work/filter.out"
uid=$(id -u verrowick)
check "filter: converters run as verrowick" has \
  "* The converters run as user verrowick (uid $uid, gid $(id -g verrowick))" "$work/filter.out"
# Every process that ran tnef had taken the user's id before, and one did.
check "filter: tnef ran as verrowick: $(grep -e setuid -e tnef "$work/strace")" \
  awk -v uid="$uid" '
    $2 ~ "^setuid\\(" uid "\\)" && / = 0$/ { took[$1] = 1 }
    $2 ~ "^execve\\(\"/usr/lib/verrowick/tnef\"" && / = 0$/ { ran++; if (!took[$1]) bad++ }
    END { exit !(ran > 0 && bad == 0) }' "$work/strace"
set -- "$base"/Submitted/quillmeremailer_*.tmp.sub
check "filter: one released file in Submitted" test "$#" = 1 -a -f "$1"
check "filter: submitted message converted" has "X-WinmailDat: 1 attachments extracted." "$1"

# Remove, then purge: nothing of the package may be left. A work directory
# left behind by a killed filter goes too.
mkdir /usr/lib/verrowick/wmd_temp
touch /usr/lib/verrowick/wmd_temp/winmail.dat
check "dpkg -r" dpkg -r verrowick >"$work/remove.log" 2>&1
check "removed: /usr/lib/verrowick gone" test ! -e /usr/lib/verrowick
check "dpkg -P" dpkg -P verrowick >>"$work/remove.log" 2>&1
check "purged: dpkg knows no verrowick" not_installed
left=$(grep verrowick "$work/contents" | while read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then echo "$path"; fi
done)
check "purged: nothing left: $left" test -z "$left"
check "purged: the user verrowick stays" getent passwd verrowick >/dev/null
we_installed=0

echo "package_test: $failed failed"
test "$failed" = 0
