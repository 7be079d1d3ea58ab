#!/bin/sh
# Runs one of the tests written for Node.js (a .mjs of tests/) from the
# source folder, where its npm packages are: SCRIPT and its arguments as
# given. Each says for itself what it skips.
# usage: node_test.sh SOURCE_DIR SCRIPT [ARG]...; exits 77 (skipped) where
# Node.js is missing.
set -u
source_dir=$1
shift
command -v node >/dev/null 2>&1 || {
    echo "Node.js not found: skipped"
    exit 77
}
cd "$source_dir" || exit 1
exec node "$@"
