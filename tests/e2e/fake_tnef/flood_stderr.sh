#!/bin/sh
# Stands in for tnef: extracts report.txt, then writes 8 MiB to standard
# error before it ends.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
head -c 8388608 /dev/zero | tr '\0' e >&2
