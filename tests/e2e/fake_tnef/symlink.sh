#!/bin/sh
# Stands in for tnef: writes report.txt and a symbolic link link.txt to the
# file "sentinel" beside the work directory, and lists both.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
ln -s ../sentinel "$dir/link.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
printf 'link.txt\t|\t%s/link.txt\t|\ttext/plain\t|\t\n' "$dir"
