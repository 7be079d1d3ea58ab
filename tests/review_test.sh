#!/bin/sh
# Runs tests/review_test.mjs: --diff through git apply and patch -p1, and the
# report's formats parsed, over the repository's real entries and, where it
# is beside this checkout, the shared corpus.
# usage: review_test.sh SOURCE_DIR ETAL; exits 77 (skipped) where Node.js,
# git or patch is missing.
set -u
source_dir=$1
etal=$2
command -v node >/dev/null 2>&1 || {
    echo "Node.js not found: skipped"
    exit 77
}
set -- "$source_dir"/examples/refs.bib "$source_dir"/tests/data/*.bib
for file in "$source_dir"/../shared/corpus/*.bib; do
    [ -f "$file" ] && set -- "$@" "$file"
done
exec node "$source_dir/tests/review_test.mjs" "$etal" "$@"
