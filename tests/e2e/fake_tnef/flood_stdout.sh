#!/bin/sh
# Stands in for tnef: lists more than 4 MiB of bare file names.
yes report.txt | head -c 5000000
