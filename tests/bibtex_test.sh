#!/bin/sh
# Shortens a small database and real entries in every layout at 3, and lets
# the real bibtex with plain.bst read them: long lists must print three names
# and "et~al.", short ones stay whole, and bibtex must not complain.
# usage: bibtex_test.sh ETAL EXCERPT_BIB; exits 77 (skipped) where bibtex or
# plain.bst is missing.
set -u
etal=$1
excerpt=$2
command -v bibtex >/dev/null 2>&1 && kpsewhich plain.bst >/dev/null 2>&1 || {
    echo "bibtex or plain.bst not found: skipped"
    exit 77
}
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
status=0

cat > long.bib <<'BIB'
@article{braced,
  author = {Adams, Ann and Brown, Bob and Clark, Cy and Dunn, Di and Evans, Ed},
  title = {Braced},
  journal = {J},
  year = {2020},
}
@article{quoted,
  author = "Fox, Fay and Gray, Gus and Hill, Hal and Irwin, Ivy",
  title = "Quoted",
  journal = "J",
  year = "2021",
}
@article{short,
  author = {Jones, Jo and King, Kim and Lane, Lou},
  title = {Short},
  journal = {J},
  year = {2022},
}
BIB
cat "$excerpt" >> long.bib
"$etal" 3 long.bib short.bib || { echo "etal failed"; exit 1; }
printf '\\citation{*}\n\\bibdata{short}\n\\bibstyle{plain}\n' > short.aux
bibtex short > bibtex.log 2>&1 || { cat bibtex.log; exit 1; }
grep -E 'Warning|error' short.blg && status=1
bbl=$(tr '\n' ' ' < short.bbl | tr -s ' ')

for want in \
    "Ann Adams, Bob Brown, Cy~Clark, et~al." \
    "Fay Fox, Gus Gray, Hal Hill, et~al." \
    "Jo~Jones, Kim King, and Lou Lane." \
    "Thorsten Altenkirch, Simon Boulier, Ambrus Kaposi, et~al." \
    "Philipp Angerer, Laleh Haghverdi, Maren B{\\\"u}ttner, et~al." \
    "Mart{\\'\\i}n Abadi, Paul Barham, Jianmin Chen, et~al." \
    "{Barnes and Noble Research}, Ann Lee, and Bo~Ruiz."; do
    case $bbl in
    *"$want"*) echo "ok: $want" ;;
    *) echo "missing: $want"; status=1 ;;
    esac
done
[ $status -eq 0 ] || cat short.bbl
exit $status
