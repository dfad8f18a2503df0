#!/bin/sh
# A tnef that misbehaves in the way named by its first argument; the others
# are the filter's arguments to tnef. Most extract report.txt first. The test
# suite copies it into a program directory as a script of its own.
how=$1
shift
[ "$*" != --version ] || exit 0  # the filter's start-up check
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
list() { printf '%s\t|\t%s\t|\ttext/plain\t|\t\n' "${1##*/}" "$1"; }
report() { printf 'quarterly report\n' >"$dir/report.txt" && list "$dir/report.txt"; }
case $how in
  outside) report; list /etc/passwd; list "$dir/../sentinel"; echo ../sentinel ;;
  symlink) report; ln -s ../sentinel "$dir/link.txt"; list "$dir/link.txt" ;;
  workfile) report; list "$dir/winmail.dat" ;;
  twice) report; echo report.txt ;;
  unlisted) report; echo 'not listed' >"$dir/extra.bin" ;;
  two_columns) # as older versions list: name and path, or a bare name
    printf 'quarterly report\n' >"$dir/report.txt" && printf 'some notes\n' >"$dir/notes.txt"
    printf 'report.txt\t|\t%s/report.txt\nnotes.txt\n' "$dir" ;;
  odd_name)
    echo odd >"$dir/say \"hi\" \\\\ bye.txt"
    printf '%s\n' 'say "hi" \\ bye.txt' ;;
  error_line) # an ERROR: line for a winmail.dat holding "error", else a copy of it
    name=$(cat "$dir/winmail.dat").txt
    [ "$name" != error.txt ] || { echo "ERROR: invalid checksum, input file may be corrupted"; exit 1; }
    cp "$dir/winmail.dat" "$dir/$name" && list "$dir/$name" ;;
  stderr_text) report; printf 'WARNING: odd attribute\r\nat offset 12\001 in C:\\temp\r\n\n' >&2 ;;
  flood_stderr) report; head -c 8388608 /dev/zero | tr '\0' e >&2 ;;
  flood_stdout) yes report.txt | head -c 5000000 ;;
  long_lines) printf '%03000d\nERROR: %05000d\n' 0 0 | tr 0 x | sed '2s/x/y/g' ;;
  descriptors) ls /proc/self/fd | tr '\n' ' ' >"$dir/report.txt"; list "$dir/report.txt" ;;
  abort) echo 'assertion failed' >&2; kill -ABRT $$ ;;
  spy) # tries what its sandbox forbids and reports in report.txt; the work file holds
    # "hold" (then it waits, holding its scratch directory) or a listening TCP port and
    # another conversion's scratch directory
    read -r port victim <"$dir/winmail.dat"
    [ "$port" != hold ] || { sleep 4; report; exit; }
    try() { if (eval "$2") 2>/dev/null; then echo "$1: done"; else echo "$1: denied"; fi; }
    connect='import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 5)'
    { try 'write the program directory' 'echo x >"${0%/*}/escape"'
      try 'write the base directory' 'echo x >escape'
      try 'write /tmp' 'echo x >/tmp/verrowick-escape-$port'
      try "write another conversion's scratch directory" 'echo x >"$victim/escape"'
      try 'read /etc/shadow' 'cat /etc/shadow'
      try 'connect to 127.0.0.1' 'python3 -c "$connect" $port'
      echo "uid: $(id -u)"
    } >"$dir/report.txt" && list "$dir/report.txt" ;;
  slow) # sleeps for a winmail.dat that holds "slow"
    [ "$(cat "$dir/winmail.dat")" != slow ] || sleep "${FAKE_TNEF_SLEEP:-2}"; report ;;
esac
