#!/bin/sh
# Stands in for the project's rtf2html until it is built: converts the RTF
# file $1 into the HTML file $2 with unrtf, creating $2 only on success.
unrtf --html "$1" > "$2.part" 2>/dev/null && mv "$2.part" "$2"
rm -f "$2.part"
