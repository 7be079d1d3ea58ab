#!/bin/sh
# Builds the Debian package, which lintian must pass without an error or a
# warning, and which must hold the files that `cmake --install` installs.
# usage: package_test.sh BUILD_DIR; exits 77 (skipped) without lintian or
# dpkg-shlibdeps.
set -u
build=$1
for tool in lintian dpkg-shlibdeps; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool not found: skipped"; exit 77; }
done
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/etal_*.deb) || exit 1
if ! lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
    grep -v 'running with root privileges' "$work/lintian.log"
    echo "lintian found errors or warnings"
    exit 1
fi

cmake --install "$build" --prefix "$work/prefix/usr" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sort)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$installed" = "$packaged" ] || { printf 'installed:\n%s\npackaged:\n%s\n' "$installed" "$packaged"; exit 1; }
echo "lintian passes $(basename "$deb"), which holds what cmake --install installs"
