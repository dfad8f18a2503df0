#!/bin/sh
# Stands in for tnef: extracts report.txt and complains on standard error in
# two lines ended by CR LF, with a control byte and a backslash.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
printf 'WARNING: odd attribute\r\nat offset 12\001 in C:\\temp\r\n\n' >&2
