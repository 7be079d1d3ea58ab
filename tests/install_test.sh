#!/bin/sh
# Installs the build into a temporary prefix and runs the installed program.
# usage: install_test.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/etal"
gzip -t "$prefix/share/man/man1/etal.1.gz"
grep -q '^License: Expat' "$prefix/share/doc/etal/copyright"
gzip -t "$prefix/share/doc/etal/changelog.gz"
# the docs where --help and the manual say they are
for doc in guide.md faq.md; do
    grep -q '^# ' "$prefix/share/doc/etal/$doc" || { echo "share/doc/etal/$doc is not installed"; exit 1; }
done
"$prefix/bin/etal" --help | tr '\n' ' ' | grep -q 'share/doc/etal/guide.md' || { echo "--help does not name the guide"; exit 1; }
printf 'author = {A and B and C},\n' > "$prefix/in.bib"
"$prefix/bin/etal" 2 "$prefix/in.bib" "$prefix/out.bib"
[ "$(cat "$prefix/out.bib")" = "author = {A and B and others }," ]
echo "installed etal, its manual, guide, FAQ, copyright and changelog under a prefix; the installed etal works"
