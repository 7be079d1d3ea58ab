#!/bin/sh
# The man page must render without a single groff warning, and say what
# --help says: the same options, long and short, and the same exit statuses.
# usage: man_page_test.sh ETAL_1 [ETAL]; exits 77 (skipped) where groff is
# missing.
command -v groff >/dev/null 2>&1 || { echo "groff not found: skipped"; exit 77; }
warnings=$(groff -man -ww -z "$1" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
[ $# -ge 2 ] || exit 0
# A section of the manual's source, with its dashes plain.
section() { sed -n "/^\.SH $1\$/,/^\.SH /p" "$2" | sed 's/\\-/-/g'; }
man=$1
options() { grep -oE '(^|[ ,"])--?[a-z][a-z-]*' | sed 's/^[ ,"]*//' | sort -u; }
help=$("$2" --help) || exit 1
status=0
# Every option --help lists (an indented line starting with a dash).
help_options=$(printf '%s\n' "$help" | grep -E '^  +-' | options)
man_options=$(section OPTIONS "$man" | awk 'previous == ".TP" { print } { previous = $0 }' | sed 's/^\.B[IR]* //' | options)
[ "$help_options" = "$man_options" ] ||
    { echo "options: --help has"; echo "$help_options"; echo "the manual"; echo "$man_options"; status=1; }
# Every exit status: the numbers of --help's paragraph and the manual's section.
numbers() { grep -oE '\b(0|1|2|126|127)\b' | sort -un | tr '\n' ' '; }
help_statuses=$(printf '%s\n' "$help" | sed -n '/^Exit status/,/^$/p' | numbers)
man_statuses=$(section 'EXIT STATUS' "$man" | numbers)
[ "$help_statuses" = "$man_statuses" ] ||
    { echo "exit statuses: --help $help_statuses, the manual $man_statuses"; status=1; }
[ $status = 0 ] && echo "the manual renders cleanly and names --help's options ($(echo $help_options | wc -w)) and exit statuses ($help_statuses)"
exit $status
