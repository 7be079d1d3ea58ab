#!/bin/sh
# Makes sure this machine has what building and running the tests needs:
# GoogleTest and a build tool for CMake. As root with apt-get it installs
# what is missing; otherwise it names it in one line and stops. The checks
# that need bibtex, groff or lintian skip themselves where those are missing.
set -eu
missing=""
found_in_include() {
    for dir in /usr/include /usr/local/include /opt/homebrew/include; do
        [ -f "$dir/$1" ] && return 0
    done
    return 1
}
found_in_include gtest/gtest.h || missing="$missing libgtest-dev"
command -v make >/dev/null 2>&1 || command -v ninja >/dev/null 2>&1 || missing="$missing make"
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "installing what the tests need:$missing"
    apt-get update -qq
    # shellcheck disable=SC2086 # one word a package
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
    exit 0
fi
echo "etal: the tests need$missing: apt-get install$missing" >&2
exit 1
