#!/bin/sh
# Only the names change, in every layout users write: generated entries
# (comma first, the list as the last field without a comma, quoted, blanks
# before the comma, several fields on a line, tab-indented, over lines),
# with LF and CRLF, go through etal at several rules and in every form
# (the copy, standard streams, -i, --diff applied by patch). bibtex with
# plain.bst must then read each output as it reads the same entries written
# already cut by hand: the same .bbl, and no warning in either. No line may
# change its end, and a second run changes nothing.
# usage: layouts_test.sh ETAL; exits 77 (skipped) where bibtex, plain.bst
# or patch is missing.
set -u
etal=$1
command -v bibtex >/dev/null 2>&1 && kpsewhich plain.bst >/dev/null 2>&1 && command -v patch >/dev/null 2>&1 || {
    echo "bibtex, plain.bst or patch not found: skipped"
    exit 77
}
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }

# generate KEEP LIMIT EOL: the entries as written (KEEP 0), or as the rule
# would leave them, cut by hand to KEEP names and "others" where a list has
# more than LIMIT.
generate() {
    perl -e '
        my ($keep, $limit, $eol) = @ARGV;
        $eol = $eol eq "crlf" ? "\r\n" : "\n";
        my @people = map { "Name$_, A." } 1 .. 9;
        my $n = 0;
        for my $count (1, 2, 3, 4, 7) {
            my @names = @people[0 .. $count - 1];
            @names = (@names[0 .. $keep - 1], "others") if $keep > 0 && $count > $limit;
            my $list = join(" and ", @names);
            (my $wrapped = $list) =~ s/ and /$eol    and /g;
            my @layouts = (
                "\@article{k@{[$n++]},$eol  author = {$list},$eol  title = {Braced},$eol  journal = {J},$eol  year = {2001},$eol}",
                "\@article{k@{[$n++]}$eol  , author = {$list}$eol  , title = {Comma first}$eol  , journal = {J}$eol  , year = {2002}$eol}",
                "\@article{k@{[$n++]},$eol  title = {Last},$eol  journal = {J},$eol  year = {2003},$eol  author = {$list}$eol}",
                "\@article{k@{[$n++]},$eol  author = \"$list\",$eol  title = \"Quoted\",$eol  journal = \"J\",$eol  year = \"2004\"$eol}",
                "\@article{k@{[$n++]},$eol  author = {$list}  ,  $eol  title = {Blanks},$eol  journal = {J},$eol  year = {2005}$eol}",
                "\@article{k@{[$n++]}, author = {$list}, title = {One line}, journal = {J}, year = {2006}}",
                "\@article{k@{[$n++]},$eol\tauthor\t= {$list},$eol\ttitle\t= {Tabs},$eol\tjournal\t= {J},$eol\tyear\t= {2007},$eol}",
                "\@article{k@{[$n++]},$eol  author = {$wrapped},$eol  title = {Wrapped},$eol  journal = {J},$eol  year = {2008},$eol}",
            );
            print "$_$eol$eol" for @layouts;
        }' "$@"
}

# bbl FILE: what plain.bst makes of it, with bibtex's warnings counted.
bbl() {
    printf '\\citation{*}\n\\bibdata{%s}\n\\bibstyle{plain}\n' "${1%.bib}" > "${1%.bib}.aux"
    bibtex "${1%.bib}" > /dev/null 2>&1 || fail "bibtex failed on $1 ($label)"
    if grep -E 'Warning|error' "${1%.bib}.blg"; then
        fail "bibtex complains of $1 ($label)"
    fi
}

# same_ends FILE: every line of a CRLF file ends in CR LF, and no line of
# an LF file holds a CR.
same_ends() {
    with_cr=$(grep -c "$(printf '\r')$" "$1")
    lines=$(grep -c '' "$1")
    case $eol in
    crlf) [ "$with_cr" = "$lines" ] || fail "$1 has lines without their CR ($label)" ;;
    *) [ "$with_cr" = 0 ] || fail "$1 has a CR ($label)" ;;
    esac
}

forms=0
for eol in lf crlf; do
    generate 0 0 "$eol" > input.bib
    for rule in 1 3 "-k 1 3" "-k 2 6"; do
        set -- $rule
        limit=$(eval echo \${$#})
        keep=$limit
        [ "$1" = "-k" ] && keep=$2
        label="$eol, etal $rule"
        generate "$keep" "$limit" "$eol" > expected.bib
        bbl expected.bib
        # the copy, and standard streams
        "$etal" $rule input.bib copy.bib || fail "copy ($label)"
        "$etal" $rule - - < input.bib > piped.bib || fail "pipe ($label)"
        # in place
        cp input.bib inplace.bib
        "$etal" -i $rule inplace.bib || fail "-i ($label)"
        # the diff, applied as a reviewer applies it
        mkdir -p applied && cp input.bib applied/input.bib
        "$etal" --diff $rule input.bib > input.diff
        [ $? = 1 ] || fail "--diff found no change ($label)"
        (cd applied && patch -s -p1 < ../input.diff) || fail "patch refused the diff ($label)"
        for out in copy.bib piped.bib inplace.bib applied/input.bib; do
            cmp -s "$out" copy.bib || fail "$out differs from the copy ($label)"
        done
        bbl copy.bib
        cmp -s copy.bbl expected.bbl || { fail "plain.bst reads the copy otherwise ($label)"; diff expected.bbl copy.bbl | head -20; }
        same_ends copy.bib
        "$etal" $rule copy.bib again.bib
        cmp -s copy.bib again.bib || fail "a second run changed the copy ($label)"
        "$etal" --check $rule copy.bib > /dev/null || fail "the copy is still over the rule ($label)"
        forms=$((forms + 4))
    done
done
[ $status = 0 ] && echo "every layout, LF and CRLF, at 4 rules in $forms runs: bibtex reads the cut lists alone changed"
exit $status
