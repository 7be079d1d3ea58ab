#!/bin/sh
# etal in the build, with Debian's real latexmk, bibtex, bibtex8, bibtexu and
# make: a paper with two .bib files (one named with its folder), a chapter
# \include'd with an .aux of its own, -outdir and -auxdir both set, built as
# the README says. BibTeX reads the lists cut, the .bib files keep their
# bytes and times, a second build runs BibTeX no more, and an export that
# rewrites a .bib is cut at the next build. Then each .bib of tests/data and
# of the shared corpus (where it is beside this checkout) through --run
# gives the .bbl that etal's copy and bibtex give.
# usage: build_test.sh SOURCE_DIR ETAL; exits 77 (skipped) where latexmk,
# bibtex or pdflatex is missing.
set -u
source_dir=$1
etal=$2
for tool in latexmk bibtex pdflatex make; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool not found: skipped"; exit 77; }
done
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
# has FILE TEXT...: each TEXT is in FILE, read with its line ends as spaces.
has() {
    file=$1
    shift
    text=$(tr '\n' ' ' < "$file" | tr -s ' ')
    for want in "$@"; do
        case $text in
        *"$want"*) ;;
        *) fail "$file lacks: $want" ;;
        esac
    done
}
# The .bib files' bytes and times, to be the same after every build.
stamps() { (cd "$work/paper" && ls -l --time-style=+%s.%N refs.bib bib/more.bib && cat refs.bib bib/more.bib); }

mkdir -p "$work/paper/bib" && cd "$work/paper" || exit 1
cat > paper.tex <<'TEX'
\documentclass{article}
\begin{document}
See \cite{okafor} and \cite{short}.
\include{chapter}
\bibliographystyle{plain}
\bibliography{refs,bib/more}
\end{document}
TEX
cat > chapter.tex <<'TEX'
The chapter cites \cite{dblp}.
TEX
cat > refs.bib <<'BIB'
@article{okafor,
  author = {Okafor, Adaeze and Lindqvist, Erik and Tanaka, Hiro and Moreau, Claire and Silva, Jo},
  title = {Reading long lists}, journal = {J}, year = 2020,
}
@article{short,
  author = {Jones, Jo and King, Kim},
  title = {Two names}, journal = {J}, year = 2021,
}
BIB
cat > bib/more.bib <<'BIB'
@inproceedings{dblp,
  author    = {Thorsten Altenkirch and
               Simon Boulier and
               Ambrus Kaposi and
               Christian Sattler},
  title     = {Constructing a universe}, booktitle = {FoSSaCS}, year = {2021}
}
BIB
cat > latexmkrc <<RC
\$bibtex = '$etal -k 1 3 --run bibtex %O %S';
RC
touch -d '1 hour ago' refs.bib bib/more.bib
before=$(stamps)
build() { latexmk -pdf -outdir=out -auxdir=aux paper > "$work/latexmk.log" 2>&1; }

build || { cat "$work/latexmk.log"; fail "latexmk failed"; }
has aux/paper.bbl "Adaeze Okafor et~al." "Jo~Jones and Kim King." "Thorsten Altenkirch et~al."
[ "$(stamps)" = "$before" ] || fail "latexmk and etal changed a .bib file"
[ -f aux/paper.etal/refs.bib ] && [ -f aux/paper.etal/bib/more.bib ] || fail "no copies in aux/paper.etal"

build || fail "the second latexmk failed"
grep -q "applying rule 'bibtex" "$work/latexmk.log" && fail "the second latexmk ran BibTeX again"
[ "$(stamps)" = "$before" ] || fail "the second build changed a .bib file"

# An export rewrites refs.bib: the short list has grown.
sed 's/Jones, Jo and King, Kim/Jones, Jo and King, Kim and Lane, Lou and Moss, Mo/' refs.bib > refs.new && mv refs.new refs.bib
build || fail "latexmk after the export failed"
grep -q "applying rule 'bibtex" "$work/latexmk.log" || fail "latexmk did not run BibTeX after the export"
has aux/paper.bbl "Adaeze Okafor et~al." "Jo~Jones et~al."
echo "latexmk -outdir -auxdir: lists cut, the .bib files untouched, BibTeX not run again, an export cut"

# make, with the README's lines.
mkdir "$work/make" && cp paper.tex chapter.tex refs.bib "$work/make" && cp -r bib "$work/make" && cd "$work/make" || exit 1
printf 'paper.pdf: paper.tex refs.bib bib/more.bib\n\tpdflatex paper\n\t%s -k 1 3 --run bibtex paper\n\tpdflatex paper\n\tpdflatex paper\n' \
    "$etal" > Makefile
make > "$work/make.log" 2>&1 || { cat "$work/make.log"; fail "make failed"; }
has paper.bbl "Adaeze Okafor et~al." "Thorsten Altenkirch et~al."
echo "make: lists cut"

# Any BibTeX, and its message and status where a database is missing.
for bibtex in bibtex8 bibtexu; do
    command -v $bibtex >/dev/null 2>&1 || { echo "$bibtex not found: skipped"; continue; }
    rm -f paper.bbl
    "$etal" -k 1 3 --run $bibtex paper > "$work/$bibtex.log" 2>&1 || { cat "$work/$bibtex.log"; fail "$bibtex failed"; }
    has paper.bbl "Adaeze Okafor et~al." "Thorsten Altenkirch et~al."
    echo "$bibtex: lists cut"
done
sed 's/bibliography{refs,bib\/more}/bibliography{refs,missing}/' paper.tex > missing.tex
pdflatex -interaction=batchmode missing > /dev/null 2>&1
bibtex missing > "$work/bibtex.out" 2>&1
expected=$?
"$etal" 3 --run bibtex missing > "$work/etal.out" 2>&1
got=$?
[ $got = $expected ] && [ $got != 0 ] || fail "a missing database: etal exited $got, bibtex $expected"
grep -q "I couldn't open database file missing.bib" "$work/etal.out" || fail "BibTeX's message did not pass through"
echo "a missing database: BibTeX's message and status ($got)"

# Each database through --run and plain gives the .bbl of etal's copy.
compared=0
for bib in "$source_dir"/tests/data/*.bib "$source_dir"/../shared/corpus/*.bib; do
    [ -f "$bib" ] || continue
    rm -rf "$work/one" && mkdir "$work/one" && cd "$work/one" || exit 1
    cp "$bib" db.bib
    printf '\\citation{*}\n\\bibstyle{plain}\n\\bibdata{db}\n' > run.aux
    "$etal" 3 db.bib short.bib
    printf '\\citation{*}\n\\bibstyle{plain}\n\\bibdata{short}\n' > copy.aux
    "$etal" 3 --run bibtex -terse run > /dev/null 2>&1
    ran=$?
    bibtex -terse copy > /dev/null 2>&1
    [ $ran = $? ] && cmp -s run.bbl copy.bbl || fail "$(basename "$bib"): --run gave another .bbl or status"
    compared=$((compared + 1))
done
echo "$compared databases: the same .bbl through --run as from etal's copy"
exit $status
