#!/usr/bin/env bash
# Makes every download of a release in OUTDIR, from the commit checked out:
# the sources; for x86_64, aarch64, i686 and s390x Linux a static etal, which
# runs with no library at all, and a Debian package; the Windows zip; the
# page's site; and SHA256SUMS of them all.
#
# Every byte depends on the commit alone. All is built from the source
# archive, whose folder is mapped away; every time in every archive is the
# commit's (SOURCE_DATE_EPOCH), every owner root, every name in order; and
# the clock, user, umask, locale, time zone and compiler flags of the shell
# that runs it leave no trace.
#
# usage: packaging/release.sh [--native] OUTDIR
#   --native  the sources, the x86_64 program and the amd64 package only
set -euo pipefail

say() { echo "etal-release: $*" >&2; }
fail() {
    say "$*"
    exit 1
}

native_only=false
if [ "${1:-}" = --native ]; then
    native_only=true
    shift
fi
[ $# -eq 1 ] || fail "usage: packaging/release.sh [--native] OUTDIR"
out=$1
case $out in
/*) ;;
*) out=$PWD/$out ;;
esac
cd "$(dirname "$0")/.."

# Linux targets: name in the file, Debian's triple (none for this machine's
# own), Debian's architecture.
targets=("x86_64::amd64")
$native_only || targets+=("aarch64:aarch64-linux-gnu:arm64" "i686:i686-linux-gnu:i386" "s390x:s390x-linux-gnu:s390x")

command -v git >/dev/null 2>&1 && git rev-parse --verify -q HEAD >/dev/null ||
    fail "not a git checkout, or no git: a release is made from a commit"
[ -z "$(git status --porcelain)" ] || fail "the checkout has changes (git status): a release is made from a commit alone"
version=$(sed -n 's/^project(etal VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
tag=$(git describe --exact-match --tags HEAD 2>/dev/null || true)
case $tag in
"v$version") ;;
"") say "HEAD is not tagged v$version: its files are named $version all the same" ;;
*) fail "HEAD is tagged $tag, but CMakeLists.txt says $version" ;;
esac

lacking=()
need() {  # a command, and the Debian package that brings it
    command -v "$1" >/dev/null 2>&1 || lacking+=("$2")
}
need cmake cmake
need g++ g++
need gzip gzip
need zip zip
need dpkg-shlibdeps dpkg-dev
need sha256sum coreutils
if ! $native_only; then
    need aarch64-linux-gnu-g++ crossbuild-essential-arm64
    need i686-linux-gnu-g++ crossbuild-essential-i386
    need s390x-linux-gnu-g++ crossbuild-essential-s390x
    need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64
    need emcmake emscripten
fi
[ ${#lacking[@]} -eq 0 ] || fail "lacks what it builds with: apt-get install ${lacking[*]}"

mkdir -p "$out"
[ -z "$(ls -A "$out")" ] || fail "$out is not empty"
out=$(cd "$out" && pwd)

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
unset LANG LANGUAGE CC CXX CFLAGS CXXFLAGS CPPFLAGS LDFLAGS MAKEFLAGS CMAKE_GENERATOR CMAKE_BUILD_PARALLEL_LEVEL
umask 022
jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Files as the archives hold them: rw-r--r--, programs and folders
# rwxr-xr-x, every time the commit's.
settle() {
    chmod -R u=rwX,go=rX "$1"
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
# tar_gz FOLDER OUT: FOLDER, as a folder of that name, in OUT.
tar_gz() {
    settle "$1"
    tar -C "$(dirname "$1")" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
        --mtime="@$SOURCE_DATE_EPOCH" -cf - "$(basename "$1")" | gzip -9n >"$2"
}
# zip_folder FOLDER OUT: the same as a zip, which holds no owner, and whose
# times are the commit's in UTC, rounded up to the two seconds zip keeps.
zip_folder() {
    settle "$1"
    (cd "$(dirname "$1")" && find "$(basename "$1")" -type f | sort | zip -X -9 -q "$2" -@)
}
# build NAME [emcmake] [CMAKE_ARGUMENT]...: configures and builds the source
# archive's etal in $work/NAME (the page, with emcmake), with the folders
# mapped away; the log only on failure.
build() {
    local dir=$work/$1 configure=(cmake)
    shift
    if [ "${1:-}" = emcmake ]; then
        configure=(emcmake cmake)
        shift
    fi
    if ! { "${configure[@]}" -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DETAL_TESTS=OFF \
        "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$work=/build" "$@" && cmake --build "$dir" -j"$jobs"; } >"$dir.log" 2>&1; then
        cat "$dir.log" >&2
        fail "the build in $1 failed"
    fi
}

# The sources, as git has them, and everything else built from them, so that
# what is built is what the archive holds, outside a checkout.
name=etal-$version
git -c tar.umask=0022 archive --format=tar --prefix="$name/" HEAD | gzip -9n >"$out/$name.tar.gz"
tar -C "$work" -xzf "$out/$name.tar.gz"
src=$work/$name

for target in "${targets[@]}"; do
    IFS=: read -r arch triple debian_arch <<<"$target"
    toolchain=() prefix=""
    if [ -n "$triple" ]; then
        toolchain=("-DCMAKE_TOOLCHAIN_FILE=$src/cmake/$triple.cmake")
        prefix=$triple-
    fi
    say "$arch"

    build "static-$arch" "${toolchain[@]}" -DETAL_STATIC=ON
    folder=$work/tar-$arch/$name-$arch-linux
    mkdir -p "$folder"
    "${prefix}strip" -o "$folder/etal" "$work/static-$arch/etal"
    cp "$src/etal.1" "$src/README.md" "$src/LICENSE" "$folder/"
    tar_gz "$folder" "$out/$name-$arch-linux.tar.gz"

    # Debian's packages link the system's libraries, which they depend on.
    build "deb-$arch" "${toolchain[@]}"
    package=(-D CPACK_DEBIAN_FILE_NAME="etal_${version}_$debian_arch.deb")
    if [ -n "$triple" ]; then
        # dpkg-shlibdeps reads the cross libraries' own packages
        # (libc6-arm64-cross, libc6:arm64): the target's are the same
        # packages under Debian's own names.
        mkdir -p "$work/shlibs-$arch/debian" && touch "$work/shlibs-$arch/debian/control"
        depends=$(cd "$work/shlibs-$arch" && dpkg-shlibdeps -l"/usr/$triple/lib" --ignore-missing-info -O \
            "$work/deb-$arch/etal" 2>/dev/null | sed -n 's/^shlibs:Depends=//p' |
            sed -E "s/:$debian_arch//g; s/-$debian_arch-cross//g")
        [ -n "$depends" ] || fail "dpkg-shlibdeps found no library for the $arch package"
        package+=(-D CPACK_DEBIAN_PACKAGE_ARCHITECTURE="$debian_arch" -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF
            -D CPACK_DEBIAN_PACKAGE_DEPENDS="$depends")
    fi
    (cd "$work/deb-$arch" && cpack -G DEB -B "$work/deb-$arch/package" "${package[@]}") >"$work/cpack-$arch.log" 2>&1 ||
        { cat "$work/cpack-$arch.log" >&2; fail "the $arch package failed"; }
    cp "$work/deb-$arch/package/etal_${version}_$debian_arch.deb" "$out/"
done

if ! $native_only; then
    say "win64"
    build windows "-DCMAKE_TOOLCHAIN_FILE=$src/cmake/mingw-w64.cmake"
    folder=$work/zip-windows/$name-win64
    mkdir -p "$folder"
    x86_64-w64-mingw32-strip -o "$folder/etal.exe" "$work/windows/etal.exe"
    cp "$src/README.md" "$src/LICENSE" "$folder/"
    zip_folder "$folder" "$out/$name-win64.zip"

    say "web"
    build web emcmake
    mkdir -p "$work/zip-web"
    cp -R "$work/web/site" "$work/zip-web/$name-web"
    zip_folder "$work/zip-web/$name-web" "$out/$name-web.zip"
fi

(cd "$out" && sha256sum -- etal[-_]* >SHA256SUMS)
say "made in $out:"
(cd "$out" && ls -l --time-style=+ etal[-_]* SHA256SUMS | awk '{ printf "  %-32s %9d\n", $NF, $5 }') >&2
