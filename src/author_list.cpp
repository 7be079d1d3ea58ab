#include "author_list.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t not_found = std::string_view::npos;

constexpr bool is_lower_letter(char c) { return c >= 'a' && c <= 'z'; }

constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Folding is a fixed A-to-Z mapping whatever the locale: a byte matches a
// lower-case letter when it equals it with the 0x20 bit set, which only the
// letter and its capital do. Other bytes of a word must match exactly.
constexpr bool matches_folded(char byte, char lower)
{
    return is_lower_letter(lower) ? (static_cast<unsigned char>(byte) | 0x20U) == static_cast<unsigned char>(lower)
                                  : byte == lower;
}

// Position of the first byte in [from, end) that is the letter `lower` in
// either case, or not_found. Eight bytes at a time: one pass finds both
// cases, where memchr would need one pass for each.
std::size_t find_letter(std::string_view line, char lower, std::size_t from, std::size_t end)
{
    constexpr std::uint64_t ones = 0x0101010101010101U;
    const std::uint64_t pattern = ones * static_cast<unsigned char>(lower);
    const char* const data = line.data();
    std::size_t i = from;
    for (; i + 8 <= end; i += 8) {
        std::uint64_t block = 0;
        std::memcpy(&block, data + i, sizeof block);
        const std::uint64_t zero_at_letter = (block | (ones * 0x20U)) ^ pattern;
        if (((zero_at_letter - ones) & ~zero_at_letter & (ones * 0x80U)) != 0)
            break;  // the letter is among these eight bytes
    }
    for (; i < end; ++i)
        if (matches_folded(data[i], lower))
            return i;
    return not_found;
}

// Position of the first `word` in any letter case that lies within [from,
// end), or not_found. Candidates are found by the byte at `anchor`, a letter:
// the rarer it is in real lines, the fewer candidates to check.
template <const std::string_view& word, std::size_t anchor>
std::size_t find_folded(std::string_view line, std::size_t from, std::size_t end)
{
    static_assert(is_lower_letter(word[anchor]), "the anchor must be a letter");
    if (end < from + word.size())
        return not_found;
    const std::size_t anchor_end = end - word.size() + anchor + 1;  // past the last anchor byte
    for (std::size_t at = from + anchor; (at = find_letter(line, word[anchor], at, anchor_end)) != not_found; ++at) {
        std::size_t i = 0;
        while (i < word.size() && matches_folded(line[at - anchor + i], word[i]))
            ++i;
        if (i == word.size())
            return at - anchor;
    }
    return not_found;
}

std::size_t skip_blanks(std::string_view line, std::size_t i)
{
    while (i < line.size() && is_blank(line[i]))
        ++i;
    return i;
}

// Position of the `{` or `"` that opens the value of the first author field
// on the line, or not_found: "Authoritarian" in a title names no field.
std::size_t find_value(std::string_view line)
{
    // Anchored on the "h", the rarest of its letters in real bibliographies.
    for (std::size_t at = 0; (at = find_folded<author_keyword, 3>(line, at, line.size())) != not_found; ++at) {
        std::size_t i = skip_blanks(line, at + author_keyword.size());
        if (i == line.size() || line[i] != '=')
            continue;
        i = skip_blanks(line, i + 1);
        if (i < line.size() && (line[i] == '{' || line[i] == '"'))
            return i;
    }
    return not_found;
}

// A line that starts an entry ends a value that never closed.
bool starts_entry(std::string_view line)
{
    const std::size_t i = skip_blanks(line, 0);
    return i < line.size() && line[i] == '@';
}

// What may follow a value for the field to end in the full tail: blanks, at
// most one comma and a final CR.
bool only_field_end(std::string_view rest)
{
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    bool comma = false;
    for (const char c : rest) {
        if (c == ',' && !comma)
            comma = true;
        else if (!is_blank(c))
            return false;
    }
    return true;
}

// Feeds one byte of the value's top level to the separator match; true when
// it completes a separator. A failed match can only restart at a space,
// since no other byte of the separator is a space.
bool completes_separator(author_scan& scan, char c)
{
    if (matches_folded(c, author_separator[scan.matched])) {
        if (++scan.matched < author_separator.size())
            return false;
        scan.matched = 0;  // separators never overlap
        return true;
    }
    scan.matched = c == ' ' ? 1 : 0;
    return false;
}

// Separators are counted, at the top level, until the limit's last: never
// when the limit is below 1.
bool counting_separators(const author_scan& scan) { return scan.nested == 0 && scan.separators < scan.author_limit; }

// Counts a separator just found; true when it is the limit's last, so that
// the value is cut right after it.
bool reaches_limit(author_scan& scan)
{
    if (++scan.separators < scan.author_limit)
        return false;
    scan.cut_found = true;
    return true;
}

// Moves the held lines, unchanged, to what is written next.
void release_held(author_scan& scan)
{
    scan.out.append(scan.held);
    scan.held.clear();
    scan.cut_found = false;
}

line_output written_before_line(author_scan& scan) { return {scan.out, true}; }

// The value is over without a cut to make: what was held goes out unchanged.
line_output leave_whole(author_scan& scan)
{
    scan.in_value = false;
    release_held(scan);
    return written_before_line(scan);
}

// Position of the first `c` in [from, end), or `end`.
std::size_t find_byte(std::string_view line, char c, std::size_t from, std::size_t end)
{
    const void* hit = std::memchr(line.data() + from, c, end - from);
    return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - line.data()) : end;
}

// How much of a separator the top-level text [from, end) ends in: a line
// end, read as a space, may complete it.
std::size_t partial_separator(std::string_view line, std::size_t from, std::size_t end)
{
    for (std::size_t length = author_separator.size() - 1; length > 0; --length) {
        if (end - from < length)
            continue;
        std::size_t i = 0;
        while (i < length && matches_folded(line[end - length + i], author_separator[i]))
            ++i;
        if (i == length)
            return length;
    }
    return 0;
}

// Counts the separators in the top-level text [from, end) of `line`, which
// holds no brace or quote. Returns the cut, if the limit's last separator
// is among them, else not_found.
std::size_t count_separators(author_scan& scan, std::string_view line, std::size_t from, std::size_t end,
                             bool line_ends)
{
    // A separator begun before `from`, on the line before, ends byte by byte.
    for (; scan.matched != 0 && from < end; ++from)
        if (completes_separator(scan, line[from]) && reaches_limit(scan))
            return from + 1;
    // Anchored on the "d": rarer in names than the spaces.
    for (std::size_t at; (at = find_folded<author_separator, 3>(line, from, end)) != not_found;) {
        from = at + author_separator.size();
        if (reaches_limit(scan))
            return from;
    }
    if (line_ends && scan.matched == 0)
        scan.matched = partial_separator(line, from, end);
    return not_found;
}

// Goes through the value on `line` from `from`: counts separators, finds the
// cut and the close, and decides what is written. `cut_here` is the cut on
// this line when the line's start already completed the limit's separator.
// Only braces and quotes change where the value stands: it jumps from one
// to the next, and searches for separators between them.
line_output scan_value(author_scan& scan, std::string_view line, std::size_t from, std::size_t cut_here)
{
    // A final CR belongs to the line end, which reads as a space; a value
    // that closes on the line closes before it.
    const std::size_t end = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
    const bool quoted = scan.delimiter == '"';
    std::size_t next_open = find_byte(line, '{', from, end);
    std::size_t next_close = find_byte(line, '}', from, end);
    std::size_t next_quote = quoted ? find_byte(line, '"', from, end) : end;
    std::size_t close = not_found;
    for (std::size_t i = from;;) {
        const std::size_t at = std::min({next_open, next_close, next_quote});
        if (counting_separators(scan)) {
            const std::size_t cut = count_separators(scan, line, i, at, at == end);
            if (cut != not_found)
                cut_here = cut;
        }
        if (at == end)
            break;
        const char c = line[at];
        i = at + 1;
        scan.matched = 0;
        if (c == '{') {
            ++scan.nested;
            next_open = find_byte(line, '{', i, end);
        } else if (c == '}' && scan.nested > 0) {
            --scan.nested;
            next_close = find_byte(line, '}', i, end);
        } else if (c == '}' && quoted) {
            return leave_whole(scan);  // a stray `}`: BibTeX rejects the value
        } else if (c == '"' && scan.nested > 0) {
            next_quote = find_byte(line, '"', i, end);  // a quote in braces is text
        } else {
            close = at;
            break;
        }
    }

    if (close == not_found) {
        if (!scan.cut_found)
            return written_before_line(scan);  // before the cut: final as it is
        if (scan.held.size() + line.size() + 1 > held_lines_limit) {
            // Too long to hold: copied on as a value that never closes.
            release_held(scan);
            return written_before_line(scan);
        }
        if (cut_here != not_found)
            scan.cut = cut_here;
        scan.held.append(line).push_back('\n');
        return {{}, false};
    }

    scan.in_value = false;
    if (!scan.cut_found)
        return written_before_line(scan);
    const std::string_view rest = line.substr(close + 1);
    const std::size_t after = skip_blanks(rest, 0);
    if (after < rest.size() && rest[after] == '#')
        return leave_whole(scan);  // a concatenation: its other parts may hold names
    const std::string_view kept = cut_here != not_found ? line.substr(0, cut_here)
                                                        : std::string_view(scan.held).substr(0, scan.cut);
    const std::string_view tail = scan.delimiter == '"' ? quoted_others_tail : others_tail;
    scan.out.append(kept);
    if (only_field_end(rest))
        scan.out.append(tail);
    else
        scan.out.append(tail.substr(0, tail.size() - 1)).append(rest);
    scan.out.push_back('\n');
    scan.held.clear();
    scan.cut_found = false;
    return {scan.out, false};
}

// A line that continues a value: its line end before it and its leading
// blanks read as one space, which may complete a separator; a cut right
// after it falls after the blanks.
line_output continue_value(author_scan& scan, std::string_view line)
{
    const std::size_t start = skip_blanks(line, 0);
    std::size_t cut_here = not_found;
    if (counting_separators(scan) && completes_separator(scan, ' ') && reaches_limit(scan))
        cut_here = start;
    return scan_value(scan, line, start, cut_here);
}

line_output judge_line(author_scan& scan, std::string_view line)
{
    const std::size_t open = find_value(line);
    if (open == not_found)
        return written_before_line(scan);
    scan.in_value = true;
    scan.delimiter = line[open];
    scan.nested = 0;
    scan.separators = 0;
    scan.matched = 0;
    return scan_value(scan, line, open + 1, not_found);
}

}  // namespace

line_output filter_author_line(author_scan& scan, std::string_view line)
{
    scan.out.clear();
    if (!scan.in_value)
        return judge_line(scan, line);
    if (!starts_entry(line))
        return continue_value(scan, line);
    // The value never closed: its lines go out as they were, and the entry
    // that starts here is judged afresh.
    release_held(scan);
    scan.in_value = false;
    const bool write_line = judge_line(scan, line).write_line;
    return {scan.out, write_line};
}

std::string_view finish_author_lines(author_scan& scan)
{
    scan.out.clear();
    release_held(scan);
    scan.in_value = false;
    return scan.out;
}

std::string rewrite_author_line(const std::string& line, std::int32_t author_limit)
{
    author_scan scan(author_limit);
    const line_output result = filter_author_line(scan, line);
    if (result.write_line || result.before.empty())
        return line;  // unchanged, or a value that goes on past the line
    return std::string(result.before.substr(0, result.before.size() - 1));
}
