#!/bin/sh
# Stands in for tnef: reports in report.txt the open file descriptors of a
# command it starts (ls), which inherits them, as "number -> target" lines.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
ls -l /proc/self/fd > "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
