#!/bin/sh
# The man page must render without a single groff warning.
# usage: man_page_test.sh ETAL_1; exits 77 (skipped) where groff is missing.
command -v groff >/dev/null 2>&1 || { echo "groff not found: skipped"; exit 77; }
warnings=$(groff -man -ww -z "$1" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
