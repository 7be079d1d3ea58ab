#!/bin/sh
# A C++ driver whose linker refuses -z options, as Apple's does: etal must
# still configure, build and run, going without the flags it cannot take.
# usage: refusing_linker_test.sh SOURCE_DIR CXX
set -eu
source=$1
cxx=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/c++" <<WRAPPER
#!/bin/sh
for arg in "\$@"; do
    case \$arg in
    -z | -Wl,-z,* | *,-z,*) echo "ld: unknown option: \$arg" >&2; exit 1 ;;
    esac
done
exec "$cxx" "\$@"
WRAPPER
chmod +x "$work/c++"
cmake -S "$source" -B "$work/build" -DCMAKE_CXX_COMPILER="$work/c++" -DETAL_TESTS=OFF > "$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
grep -q 'ETAL_HAS_RELRO - Failed' "$work/configure.log" || { echo "the -z check did not run or passed"; exit 1; }
cmake --build "$work/build" --target etal > "$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
"$work/build/etal" 3 "$source/examples/refs.bib" "$work/short.bib"
grep -q 'and others },' "$work/short.bib"
echo "a linker that refuses -z: configured without it, built etal and shortened the example"
