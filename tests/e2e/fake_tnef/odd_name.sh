#!/bin/sh
# Stands in for tnef: extracts a file whose name holds a double quote and a
# backslash.
for arg; do
  case $arg in --directory=*) dir=${arg#--directory=} ;; esac
done
printf 'odd\n' > "$dir/say \"hi\" \\ bye.txt"
printf 'say "hi" \\ bye.txt\n'
