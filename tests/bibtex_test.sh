#!/bin/sh
# Shortens a small database and real entries in every layout at 3, and lets
# the real bibtex with plain.bst read them: long lists must print three names
# and "et~al.", short ones stay whole, those that end in "et al." written as
# a name or glued to one print "et~al." too, and bibtex must not complain. Then the same with
# one name kept of author and editor lists.
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
@inproceedings{edited,
  author = {Moss, Mo and Nash, Ned},
  title = {Edited},
  booktitle = {Proc.},
  editor = {Orr, Oz and
            Park, Pi and
            Quinn, Qu and
            Ross, Ro},
  year = {2023},
}
@article{mendeley,
  author = {RHIC and Alekseev, I. and Al., Et},
  title = {Mendeley},
  journal = {J},
  year = {2019},
}
@article{scholar, title={Scholar}, author={Barale, J. and et al.}, journal={J}, year={1975}}
@article{zotero,
	author = {Chipman, Lindsay and Podgorski, David and {others}},
	title = {Zotero},
	journal = {J},
	year = {2016},
}
@article{endnote, author = {Krzywinski, Martin, et al.}, title = {EndNote}, journal = {J}, year = {2009}}
@article{wos, author = {J. Grue et al.}, title = {Web of Science}, journal = {J}, year = {2005}}
@article{split, author = {Smith, Jo and
    Et al., Ziminsky}, title = {Mendeley, split}, journal = {J}, year = {2010}}
@article{italics, author = {Bionta, \textit{et al.}}, title = {Italics}, journal = {J}, year = {1987}}
BIB
cat "$excerpt" >> long.bib
# bibtex_check ETAL_ARGS EXPECTED...: every EXPECTED text is in what
# plain.bst makes of long.bib shortened by `etal ETAL_ARGS`.
bibtex_check() {
    # shellcheck disable=SC2086 # the arguments, a word each
    "$etal" $1 long.bib short.bib || { echo "etal $1 failed"; status=1; return; }
    shift
    printf '\\citation{*}\n\\bibdata{short}\n\\bibstyle{plain}\n' > short.aux
    bibtex short > bibtex.log 2>&1 || { cat bibtex.log; status=1; return; }
    grep -E 'Warning|error' short.blg && status=1
    bbl=$(tr '\n' ' ' < short.bbl | tr -s ' ')
    for want in "$@"; do
        case $bbl in
        *"$want"*) echo "ok: $want" ;;
        *) echo "missing: $want"; cat short.bbl; status=1 ;;
        esac
    done
    # "et al." that a list's authors wrote as a name, or glued to one,
    # prints as "et al." too
    for unwanted in "and et~al." "Et~Al." "{others}" "et~al. Krzywinski" "Ziminsky Et~al." "\\textit{et al.}"; do
        case $bbl in
        *"$unwanted"*) echo "printed: $unwanted"; status=1 ;;
        esac
    done
}

bibtex_check 3 \
    "Ann Adams, Bob Brown, Cy~Clark, et~al." \
    "Fay Fox, Gus Gray, Hal Hill, et~al." \
    "Jo~Jones, Kim King, and Lou Lane." \
    "Oz~Orr, Pi~Park, Qu~Quinn, and Ro~Ross, editors" \
    "Thorsten Altenkirch, Simon Boulier, Ambrus Kaposi, et~al." \
    "Philipp Angerer, Laleh Haghverdi, Maren B{\\\"u}ttner, et~al." \
    "Mart{\\'\\i}n Abadi, Paul Barham, Jianmin Chen, et~al." \
    "{Barnes and Noble Research}, Ann Lee, and Bo~Ruiz." \
    "RHIC, I.~Alekseev, et~al." \
    "J.~Barale et~al." \
    "Lindsay Chipman, David Podgorski, et~al." \
    "Martin Krzywinski et~al." \
    "J.~Grue et~al." \
    "Jo~Smith, Ziminsky, et~al." \
    "Bionta et~al." \
    "Jacob Devlin, Ming{-}Wei Chang, Kenton Lee, et~al." \
    "M.~Ilchen et~al."
bibtex_check "-k 1 --fields=author,editor 3" \
    "Ann Adams et~al." \
    "Fay Fox et~al." \
    "Jo~Jones, Kim King, and Lou Lane." \
    "Mo~Moss and Ned Nash." \
    "In Oz~Orr et~al., editors" \
    "Thorsten Altenkirch et~al." \
    "Jacob Devlin et~al."
exit $status
