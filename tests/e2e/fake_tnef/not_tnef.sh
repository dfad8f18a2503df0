#!/bin/sh
# Stands in for tnef given a file that is no TNEF file: says so on standard
# output, as tnef does, and fails.
echo "Seems not to be a TNEF file"
exit 1
