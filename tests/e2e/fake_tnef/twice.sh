#!/bin/sh
# Stands in for tnef: writes report.txt and lists it twice, once with its
# path and once as a bare name.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
printf 'report.txt\n'
