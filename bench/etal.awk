# The plain rule as an awk user would write it, flushing every line; a peer
# for timing etal against, not a replacement (it has none of etal's guards).
# usage: awk -v limit=COUNT -v out=OUTPUT -f etal.awk INPUT
BEGIN { if (limit == "") limit = 6 }
{
    line = $0
    folded = tolower(line)
    keyword = index(folded, "author")
    if (keyword > 0) {
        scan = keyword + 5      # 1-based: the first byte after "autho"
        names = 1
        while (names <= limit) {
            separator = index(substr(folded, scan), " and ")
            if (separator == 0) break
            scan += separator + 4
            names++
        }
        if (names > limit) line = substr(line, 1, scan - 1) "others },"
    }
    print line > out
    fflush(out)
}
