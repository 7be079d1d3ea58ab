#!/usr/bin/perl
# The plain rule as a perl user would write it, flushing every line; a peer
# for timing etal against, not a replacement (it has none of etal's guards).
# usage: etal.pl [COUNT] INPUT OUTPUT
use strict;
use warnings;

my $limit = 6;
$limit = int(shift @ARGV) if @ARGV == 3;
open(my $in, '<:raw', $ARGV[0]) or die "etal.pl: $ARGV[0]: $!\n";
open(my $out, '>:raw', $ARGV[1]) or die "etal.pl: $ARGV[1]: $!\n";
$out->autoflush(1);
while (my $line = <$in>) {
    chomp $line;
    (my $folded = $line) =~ tr/A-Z/a-z/;
    my $keyword = index($folded, 'author');
    if ($keyword >= 0) {
        my ($scan, $names) = ($keyword + 5, 1);
        while ($names <= $limit) {
            my $separator = index($folded, ' and ', $scan);
            last if $separator < 0;
            ($scan, $names) = ($separator + 5, $names + 1);
        }
        $line = substr($line, 0, $scan) . 'others },' if $names > $limit;
    }
    print $out "$line\n";
}
close($out) or die "etal.pl: $ARGV[1]: $!\n";
