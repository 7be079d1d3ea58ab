#!/bin/sh
# A newcomer with a compiler and CMake alone: configuration without
# GoogleTest says so in one line and goes on, and the README's first command
# builds etal and shortens the example.
# usage: no_gtest_build_test.sh SOURCE_DIR
set -eu
source=$1
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
cmake -S "$source" -B "$build" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE > "$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
grep -q '^-- GoogleTest not found: building etal without its tests' "$build/configure.log"
cmake --build "$build" --target etal > "$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
"$build/etal" 3 "$source/examples/refs.bib" "$build/short.bib"
grep -q 'author = {Okafor, Adaeze and Lindqvist, Erik and Tanaka, Hiro and others },' "$build/short.bib"
echo "configured without GoogleTest, built etal and shortened the example"
