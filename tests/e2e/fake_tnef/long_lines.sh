#!/bin/sh
# Stands in for tnef: lists a bare name of 3000 bytes, then writes an ERROR:
# line of 5000 bytes.
printf '%03000d\n' 0 | tr 0 x
printf 'ERROR: '; printf '%05000d\n' 0 | tr 0 y
