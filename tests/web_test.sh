#!/bin/sh
# Builds the page with Emscripten and runs tests/web_test.mjs on it in
# Debian's Chromium, against the native etal, over the repository's real
# entries and, where it is beside this checkout, the shared corpus.
# Given a SITE, such as the release's, it tests that one instead.
# usage: web_test.sh SOURCE_DIR BUILD_DIR ETAL [SITE]; exits 77 (skipped)
# where Emscripten, Chromium, Node.js or the npm packages (npm ci) are missing.
set -u
source_dir=$1
build_dir=$2
etal=$3
# CI installs them all: there a missing one is a failure, not a skip.
skip() {
    echo "$1: skipped"
    [ "${CI:-}" = true ] && exit 1
    exit 77
}
command -v emcmake >/dev/null 2>&1 || skip "Emscripten (emcmake) not found"
[ -x /usr/bin/chromium ] || skip "/usr/bin/chromium not found"
command -v node >/dev/null 2>&1 || skip "Node.js not found"
[ -d "$source_dir/node_modules/playwright-core" ] || skip "playwright-core not installed (npm ci)"

site=${4:-$build_dir/web/site}
if [ $# -lt 4 ]; then
    { emcmake cmake -S "$source_dir" -B "$build_dir/web" -DCMAKE_BUILD_TYPE=Release && cmake --build "$build_dir/web"; } \
        >"$build_dir/web-build.log" 2>&1 || {
        cat "$build_dir/web-build.log"
        exit 1
    }
fi
set -- "$source_dir/examples/refs.bib" "$source_dir/tests/data/excerpt.bib"
for file in "$source_dir"/../shared/corpus/*.bib; do
    [ -f "$file" ] && set -- "$@" "$file"
done
exec node "$source_dir/tests/web_test.mjs" "$site" "$etal" "$build_dir/web-page.png" "$@"
