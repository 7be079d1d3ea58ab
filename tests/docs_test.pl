#!/usr/bin/perl
# The docs cannot drift from the program: every ```console block of the
# guide and the FAQ is run, each "$ COMMAND" in a fresh copy of examples/
# with etal first on the PATH, and what it prints (standard output and
# error together) must be the lines shown after it. And every link of the
# README and the docs resolves: a file that exists, and a heading for an
# anchor, named as GitHub names it.
# usage: docs_test.pl ETAL SOURCE_DIR
use strict;
use warnings;
use File::Basename qw(dirname);
use File::Copy qw(copy);
use Cwd qw(abs_path);
use File::Temp qw(tempdir);

my ($etal, $source) = @ARGV;
$etal = abs_path($etal);
my $failures = 0;
my $examples = 0;
my $links = 0;

sub fail { print "FAIL: @_\n"; $failures++; }

sub read_file {
    my ($path) = @_;
    open(my $in, '<:raw', $path) or return undef;
    local $/;
    return scalar <$in>;
}

# GitHub's anchor of a heading: lower case, punctuation dropped but for
# hyphens, spaces made hyphens.
sub anchor_of {
    my ($heading) = @_;
    $heading = lc $heading;
    $heading =~ s/[^\w\- ]//g;
    $heading =~ s/ /-/g;
    return $heading;
}

sub anchors {
    my ($text) = @_;
    my %seen;
    $text =~ s/^```.*?^```//msg;    # no heading inside code
    $seen{anchor_of($1)} = 1 while $text =~ /^#+ +(.+?) *$/mg;
    return \%seen;
}

# --- the examples ---------------------------------------------------------
for my $doc ('docs/guide.md', 'docs/faq.md') {
    my $text = read_file("$source/$doc") // do { fail("$doc is missing"); next };
    while ($text =~ /^```console\n(.*?)^```\n/msg) {
        my @lines = split /\n/, $1;
        while (@lines) {
            my $command = shift @lines;
            $command =~ s/^\$ // or do { fail("$doc: a console block starts without \$: $command"); last };
            my @expected;
            push @expected, shift @lines while @lines && $lines[0] !~ /^\$ /;
            my $dir = tempdir(CLEANUP => 1);
            copy($_, $dir) for glob("$source/examples/*");
            local $ENV{PATH} = dirname($etal) . ":$ENV{PATH}";
            my $got = `cd '$dir' && ( $command ) 2>&1`;
            my $want = join('', map { "$_\n" } @expected);
            $examples++;
            next if $got eq $want;
            fail("$doc: \$ $command\n--- shown\n$want--- printed\n$got");
        }
    }
}

# --- the links ------------------------------------------------------------
for my $name ('README.md', 'CONTRIBUTING.md', 'bench/README.md', glob("$source/docs/*.md")) {
    (my $doc = $name) =~ s/^\Q$source\E\///;
    my $text = read_file("$source/$doc") // do { fail("$doc is missing"); next };
    (my $prose = $text) =~ s/^```.*?^```//msg;
    while ($prose =~ /\]\(([^)\s]+)\)/g) {
        my $link = $1;
        next if $link =~ /^(https?|mailto):/;
        my ($file, $anchor) = split /#/, $link, 2;
        my $target = $file eq '' ? "$source/$doc" : dirname("$source/$doc") . "/$file";
        $links++;
        if (!-e $target) {
            fail("$doc: $link: no such file");
        } elsif (defined $anchor && !anchors(read_file($target) // '')->{$anchor}) {
            fail("$doc: $link: no heading of that anchor");
        }
    }
}
print "$examples examples run as the docs show them, $links links resolved\n" if $failures == 0;
exit($failures == 0 ? 0 : 1);
