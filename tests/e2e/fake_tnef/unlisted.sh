#!/bin/sh
# Stands in for tnef: writes report.txt and extra.bin but lists only the first.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'not listed\n' > "$dir/extra.bin"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
