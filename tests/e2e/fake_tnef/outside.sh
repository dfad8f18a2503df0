#!/bin/sh
# Stands in for tnef: writes report.txt and also lists /etc/passwd and the
# file "sentinel" beside the work directory, by absolute path and as a bare
# relative name.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
printf 'passwd\t|\t/etc/passwd\t|\tunknown\t|\t\n'
printf 'sentinel\t|\t%s/../sentinel\t|\tunknown\t|\t\n' "$dir"
printf '../sentinel\n'
