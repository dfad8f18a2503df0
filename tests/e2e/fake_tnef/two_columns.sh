#!/bin/sh
# Stands in for an older tnef: lists report.txt in two columns (name, path)
# and notes.txt as a bare name.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'quarterly report\n' > "$dir/report.txt"
printf 'some notes\n' > "$dir/notes.txt"
printf 'report.txt\t|\t%s/report.txt\n' "$dir"
printf 'notes.txt\n'
