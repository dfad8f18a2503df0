#!/bin/sh
# Stands in for tnef: for a winmail.dat that holds the word "error" writes an
# ERROR: line to standard output; for any other copies it to report.txt and
# lists that.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
if grep -q error "$dir/winmail.dat"; then
  echo "ERROR: invalid checksum, input file may be corrupted"
  exit 1
fi
cp "$dir/winmail.dat" "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
