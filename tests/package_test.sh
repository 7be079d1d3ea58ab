#!/bin/sh
# Builds the Debian package, which lintian must pass without an error or a
# warning, which must hold the files that `cmake --install` installs, and
# whose bytes depend on the commit's time alone: owners, modes and times.
# usage: package_test.sh BUILD_DIR; exits 77 (skipped) without lintian or
# dpkg-shlibdeps.
#
# Given the folder that packaging/release.sh made, and .bib files, it checks
# the downloads there instead: every archive sorted, owned by root and of the
# source archive's time; each static etal linked with no library, run in an
# empty root (under qemu-user on other architectures) and writing BUILD_DIR's
# etal's bytes; each package passing lintian, installed and removed again;
# the sources building and passing their tests outside a checkout.
# usage: package_test.sh BUILD_DIR RELEASE_DIR BIB...
set -u
build=$1
for tool in lintian dpkg-shlibdeps; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool not found: skipped"; exit 77; }
done
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
export TZ=UTC
fail() {
    echo "$*"
    exit 1
}
lintian_passes() {
    lintian --fail-on error,warning "$1" >"$work/lintian.log" 2>&1 && return
    grep -v 'running with root privileges' "$work/lintian.log"
    fail "lintian found errors or warnings in $(basename "$1")"
}
# owned_at TIME LISTING: every line of a `tar -tv --numeric-owner
# --full-time` listing is owned by 0/0 at TIME, its names in order.
owned_at() {
    awk -v time="$1" '$2 != "0/0" || $4 " " $5 != time { print "  " $0; bad = 1 } END { exit bad }' "$2" ||
        fail "not owned by 0/0 at $1, in $2"
    awk '{ print $6 }' "$2" | LC_ALL=C sort -c || fail "names out of order in $2"
}
listing() { tar --numeric-owner --full-time -tv "$@"; }

if [ $# -eq 1 ]; then
    (cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
    deb=$(ls "$work"/etal_*.deb) || exit 1
    lintian_passes "$deb"

    cmake --install "$build" --prefix "$work/prefix/usr" >/dev/null
    installed=$(cd "$work/prefix" && find . -type f | sort)
    packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
    [ "$installed" = "$packaged" ] || { printf 'installed:\n%s\npackaged:\n%s\n' "$installed" "$packaged"; exit 1; }

    # Packed again a second later, in another time zone and language, the
    # same bytes: the clock leaves no trace once a time is given. (The umask would, on the
    # package's own members: packaging/release.sh sets it.)
    export SOURCE_DATE_EPOCH=1700000000
    umask 022
    (cd "$build" && cpack -G DEB -B "$work/a" >/dev/null 2>&1) &&
        (cd "$build" && sleep 1 && TZ=Asia/Tokyo LC_ALL=C.UTF-8 cpack -G DEB -B "$work/b" >/dev/null 2>&1) ||
        fail "cpack failed"
    cmp "$work"/a/etal_*.deb "$work"/b/etal_*.deb || fail "packed twice, two packages"
    dpkg-deb --fsys-tarfile "$work"/a/etal_*.deb | listing >"$work/members"
    owned_at "2023-11-14 22:13:20" "$work/members"
    grep '^d' "$work/members" | grep -v '^drwxr-xr-x' && fail "folders not rwxr-xr-x"

    # A release is made from a commit: a change, and it makes nothing.
    source=$(cd "$(sed -n 's/^etal_SOURCE_DIR:STATIC=//p' "$build/CMakeCache.txt")" && pwd -P)
    if [ "$(git -C "$source" rev-parse --show-toplevel 2>/dev/null)" = "$source" ]; then
        git clone -q "$source" "$work/clone" && echo >>"$work/clone/README.md" || exit 1
        "$work/clone/packaging/release.sh" --native "$work/release" 2>"$work/stderr" && fail "released a changed checkout"
        [ "$(cat "$work/stderr")" = "etal-release: the checkout has changes (git status): a release is made from a commit alone" ] ||
            fail "on a changed checkout: $(cat "$work/stderr")"
        [ ! -e "$work/release" ] || fail "a changed checkout's release left $work/release"
    fi
    echo "lintian passes $(basename "$deb"), which holds what cmake --install installs, and is the same packed twice"
    exit 0
fi

release=$2
shift 2
etal=$build/etal
sources=$(ls "$release"/etal-*[0-9].tar.gz) || exit 1
listing -zf "$sources" >"$work/sources"
time=$(awk '$6 ~ /\/CMakeLists.txt$/ { print $4 " " $5; exit }' "$work/sources")
owned_at "$time" "$work/sources"
checked=0

for tarball in "$release"/etal-*-linux.tar.gz; do
    listing -zf "$tarball" >"$work/listing"
    owned_at "$time" "$work/listing"
    arch=${tarball%-linux.tar.gz}
    arch=${arch##*-}
    mkdir "$work/$arch" "$work/$arch/root"
    tar -C "$work/$arch" -xzf "$tarball"
    files=$(cd "$work/$arch"/etal-*-linux && ls | tr '\n' ' ')
    [ "$files" = "LICENSE README.md etal etal.1 " ] || fail "$(basename "$tarball") holds $files"
    root=$work/$arch/root
    cp "$work/$arch"/etal-*-linux/etal "$root/"
    readelf -lW "$root/etal" | grep -q 'program interpreter' && fail "the $arch etal needs a loader"
    readelf -dW "$root/etal" | grep NEEDED && fail "the $arch etal needs libraries"
    # A root that holds the program, its input, and for another
    # architecture the emulator, linked statically too.
    run=/etal
    case $arch in
    "$(uname -m)") ;;
    i686) run="/qemu /etal" && cp /usr/bin/qemu-i386-static "$root/qemu" ;;
    *) run="/qemu /etal" && cp "/usr/bin/qemu-$arch-static" "$root/qemu" ;;
    esac || fail "no qemu-user-static for $arch"
    for bib in "$@"; do
        cp "$bib" "$root/in.bib"
        for rule in 3 "-k 1 --fields=author,editor 6"; do
            # shellcheck disable=SC2086 # the words of the rule
            "$etal" $rule "$bib" "$work/native.bib"
            # shellcheck disable=SC2086
            chroot "$root" $run $rule /in.bib /out.bib || fail "the $arch etal failed on $bib in an empty root"
            cmp "$work/native.bib" "$root/out.bib" || fail "the $arch etal wrote other bytes for $bib"
            checked=$((checked + 1))
        done
    done
done

# Installed into a root of its own, whatever its architecture, and removed:
# nothing is left.
mkdir -p "$work/system/var/lib/dpkg/info" "$work/system/var/lib/dpkg/updates"
touch "$work/system/var/lib/dpkg/status"
for deb in "$release"/etal_*.deb; do
    lintian_passes "$deb"
    dpkg-deb --fsys-tarfile "$deb" | listing >"$work/listing"
    owned_at "$time" "$work/listing"
    ar tv "$deb" | awk '$2 != "0/0"' | grep . && fail "$(basename "$deb") has members not owned by 0/0"
    dpkg --root="$work/system" --log=/dev/null --force-depends --force-architecture -i "$deb" >"$work/dpkg.log" 2>&1 &&
        [ -x "$work/system/usr/bin/etal" ] && dpkg --root="$work/system" --log=/dev/null -P etal >>"$work/dpkg.log" 2>&1 ||
        { cat "$work/dpkg.log"; fail "$(basename "$deb") did not install and remove"; }
    left=$(cd "$work/system" && find . ! -path './var*' ! -path .)
    [ -z "$left" ] || fail "$(basename "$deb") left $left"
done
# This machine's own, into the system, its libraries as it depends on them.
if [ "${CI:-}" = true ] && [ "$(id -u)" = 0 ] && ! dpkg -s etal >/dev/null 2>&1; then
    deb=$(ls "$release"/etal_*_"$(dpkg --print-architecture)".deb) &&
        dpkg -i "$deb" >"$work/dpkg.log" 2>&1 && /usr/bin/etal --version >/dev/null &&
        dpkg -P etal >>"$work/dpkg.log" 2>&1 && [ ! -e /usr/bin/etal ] ||
        { cat "$work/dpkg.log"; fail "$(basename "$deb") did not install and remove on this system"; }
fi

# A zip's times go by two seconds: the commit's, rounded up.
seconds=$(date -d "$time" +%s)
zip_time=$(date -d "@$(((seconds + 1) / 2 * 2))" +%Y%m%d.%H%M%S)
for zip in "$release"/etal-*.zip; do
    zipinfo -T "$zip" | awk '/^[-d]/ { print $7 }' | sort -u >"$work/times"
    [ "$(cat "$work/times")" = "$zip_time" ] || fail "$(basename "$zip") has times $(cat "$work/times"), not $zip_time"
    zipinfo -1 "$zip" | LC_ALL=C sort -c || fail "names out of order in $(basename "$zip")"
done
(cd "$release" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"

# The sources, outside a checkout, build and pass their tests with the
# README's command; a test that needs what they lack (the npm packages, a
# checkout) skips itself, as for anyone who builds from them.
tar -C "$work" -xzf "$sources"
(cd "$work"/etal-*[0-9] && env -u CI sh -c 'sh tests/need.sh && cmake -S . -B build -DETAL_TESTS=ON &&
    cmake --build build && ctest --test-dir build --output-on-failure') >"$work/sources.log" 2>&1 ||
    { cat "$work/sources.log"; fail "the sources did not build and pass their tests outside a checkout"; }
sed -n '/tests passed/,$p' "$work/sources.log"
echo "$(ls "$release" | wc -l) files of $time, owned by root; the static programs wrote the native bytes in an empty root" \
    "$checked times; the packages passed lintian, installed and removed; the sources passed their tests"
