#!/bin/sh
# Stands in for tnef: writes report.txt and lists it and the work file
# winmail.dat itself.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'report.txt\t|\t%s/report.txt\t|\ttext/plain\t|\t\n' "$dir"
printf 'winmail.dat\t|\t%s/winmail.dat\t|\tunknown\t|\t\n' "$dir"
