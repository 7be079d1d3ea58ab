#!/bin/sh
# Shortens a small database at 3 and lets the real bibtex with plain.bst read
# it: long lists must print three names and "et~al.", short ones stay whole.
# Exits 77 (skipped) where bibtex or plain.bst is missing.
set -u
etal=$1
command -v bibtex >/dev/null 2>&1 && kpsewhich plain.bst >/dev/null 2>&1 || {
    echo "bibtex or plain.bst not found: skipped"
    exit 77
}
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

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
"$etal" 3 long.bib short.bib || { echo "etal failed"; exit 1; }
printf '\\citation{*}\n\\bibdata{short}\n\\bibstyle{plain}\n' > short.aux
bibtex short > bibtex.log 2>&1 || { cat bibtex.log; exit 1; }
bbl=$(tr '\n' ' ' < short.bbl | tr -s ' ')

status=0
for want in \
    "Ann Adams, Bob Brown, Cy~Clark, et~al." \
    "Fay Fox, Gus Gray, Hal Hill, et~al." \
    "Jo~Jones, Kim King, and Lou Lane."; do
    case $bbl in
    *"$want"*) echo "ok: $want" ;;
    *) echo "missing: $want"; status=1 ;;
    esac
done
[ $status -eq 0 ] || cat short.bbl
exit $status
