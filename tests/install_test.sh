#!/bin/sh
# Installs the build into a temporary prefix and runs the installed program.
# usage: install_test.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/etal"
test -s "$prefix/share/man/man1/etal.1"
printf 'author = {A and B and C},\n' > "$prefix/in.bib"
"$prefix/bin/etal" 2 "$prefix/in.bib" "$prefix/out.bib"
[ "$(cat "$prefix/out.bib")" = "author = {A and B and others }," ]
echo "installed etal and etal.1 under a prefix; the installed etal works"
