#!/usr/bin/perl
# Writes a deterministic .bib of realistic entries to stdout: short, long and
# very long author lists, braced and quoted values, upper-case keys, titles,
# journals and years. With --wrapped, every list is written as dblp does,
# one name a line; with --short, every entry is seven short lines, with 1 to
# 12 names. usage: make_input.pl [--wrapped | --short] ENTRIES
use strict;
use warnings;

my $layout = @ARGV && $ARGV[0] =~ /^--/ ? shift : '';
my $wrapped = $layout eq '--wrapped';
my $entries = shift // 46700;
my $state = 20261207;
# A fixed generator, so that every machine writes the same bytes.
sub next_int { my ($n) = @_; $state = ($state * 1103515245 + 12345) % 2147483648; return int($state / 65536) % $n }
sub pick { return $_[next_int(scalar @_)] }

my @surnames = qw(Adams Baker Chen Dubois Evans Fischer Garcia Haddad Ivanova Jensen Kowalski Lee Moreau Novak
  Okafor Park Quinn Rossi Silva Tanaka Umar Varga Wang Xu Yilmaz Zhang M{\"u}ller Sch{\"o}n);
push @surnames, "Kj\xc3\xa4llquist", "B\xc3\xbcttner";  # UTF-8 bytes, as exports write them
my @initials = ('A.', 'B.', 'C. D.', 'E.', 'F.', 'G. H.', 'J.', 'K.', 'L.', 'M.', 'N.', 'P.', 'R.', 'S.', 'T.');
my @words = qw(measurement search observation evidence analysis precision study survey model dark matter neutrino
  galaxy cluster cosmic ray genome single cell sequencing transcriptome learning deep network detector calibration);
my @journals = ('Phys. Rev. D', 'Astrophys. J.', 'Nature', 'JHEP', 'Mon. Not. Roy. Astron. Soc.', 'Genome Biology',
  'Eur. Phys. J. C', 'Astron. Astrophys.');

binmode STDOUT;
for my $i (1 .. $entries) {
    if ($layout eq '--short') {
        my $author = join ' and ', map { pick(@surnames) . ', ' . pick(@initials) } 1 .. 1 + next_int(12);
        my $title = join ' ', map { pick(@words) } 1 .. 2 + next_int(5);
        print "\@article{key$i,\n  author = {$author},\n  title = {\u$title},\n";
        print "  journal = {" . pick(@journals) . "},\n  year = {" . (1990 + next_int(36)) . "}\n}\n\n";
        next;
    }
    my $r = next_int(100);
    my $names = $r < 55 ? 1 + next_int(5) : $r < 85 ? 6 + next_int(15) : $r < 97 ? 20 + next_int(80) : 100 + next_int(300);
    my $separator = $wrapped ? " and\n" . ' ' x 17 : ' and ';
    my $author = join $separator, map { pick(@surnames) . ', ' . pick(@initials) } 1 .. $names;
    my $quoted = !$wrapped && next_int(4) == 0;
    my ($open, $close) = $quoted ? ('"', '"') : ('{', '}');
    my $key = $wrapped ? 'author   ' : next_int(10) == 0 ? 'AUTHOR' : 'author';
    my $title = join ' ', map { pick(@words) } 1 .. 4 + next_int(8);
    print "\@article{key$i,\n";
    print "    $key = $open$author$close,\n";
    print "    title = $open\u$title$close,\n";
    print "    journal = \"" . pick(@journals) . "\",\n";
    print "    year = " . (1990 + next_int(36)) . ",\n";
    print "    volume = \"" . (1 + next_int(900)) . "\",\n";
    print "    pages = \"" . (1 + next_int(9000)) . "\"\n";
    print "}\n\n";
}
