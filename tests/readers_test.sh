#!/bin/sh
# Runs tests/readers_test.mjs: what BibTeX, biber, pandoc and typst print for
# the lists etal cuts, against the README's table. Each reader that is not
# installed is skipped, with a word; so is the whole where Node.js is not.
# usage: readers_test.sh SOURCE_DIR ETAL; exits 77 (skipped) where no reader is.
set -u
source_dir=$1
etal=$2
command -v node >/dev/null 2>&1 || {
    echo "Node.js not found: skipped"
    exit 77
}
cd "$source_dir" || exit 1
exec node tests/readers_test.mjs "$etal" README.md tests/data/csl
