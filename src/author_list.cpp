#include "author_list.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t not_found = std::string::npos;

constexpr bool is_lower_letter(char c) { return c >= 'a' && c <= 'z'; }

// Folding is a fixed A-to-Z mapping whatever the locale: a byte matches a
// lower-case letter when it equals it with the 0x20 bit set, which only the
// letter and its capital do. Other bytes of a word must match exactly.
constexpr bool matches_folded(char byte, char lower)
{
    return is_lower_letter(lower) ? (static_cast<unsigned char>(byte) | 0x20U) == static_cast<unsigned char>(lower)
                                  : byte == lower;
}

// Position of the first `c` in [from, end) of `line`, or not_found.
std::size_t find_byte(const std::string& line, char c, std::size_t from, std::size_t end)
{
    if (from >= end)
        return not_found;
    const void* hit = std::memchr(line.data() + from, c, end - from);
    return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - line.data()) : not_found;
}

// Position of the first byte in [from, end) that is the letter `lower` in
// either case, or not_found. Eight bytes at a time: one pass finds both
// cases, where memchr would need one pass for each.
std::size_t find_letter(const std::string& line, char lower, std::size_t from, std::size_t end)
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

// Position of the first `word` in any letter case at or after `from`, or
// not_found. Candidates are found by the byte at `anchor`, a letter: the
// rarer it is in real lines, the fewer candidates to check. The word is a
// template argument so that each check is unrolled.
template <const std::string_view& word, std::size_t anchor>
std::size_t find_folded(const std::string& line, std::size_t from)
{
    static_assert(is_lower_letter(word[anchor]), "the anchor must be a letter");
    if (line.size() < word.size())
        return not_found;
    const std::size_t end = line.size() - word.size() + anchor + 1;  // past the last anchor byte
    for (std::size_t at = from + anchor; (at = find_letter(line, word[anchor], at, end)) != not_found; ++at) {
        std::size_t i = 0;
        while (i < word.size() && matches_folded(line[at - anchor + i], word[i]))
            ++i;
        if (i == word.size())
            return at - anchor;
    }
    return not_found;
}

std::string shortened(const std::string& line, std::size_t cut, std::string_view tail)
{
    std::string result;
    result.reserve(cut + tail.size());
    result.append(line, 0, cut).append(tail);
    return result;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Position of the `{` or `"` that opens the value of the field named by the
// keyword at `keyword`, or not_found if the keyword does not name a field.
std::size_t value_start(const std::string& line, std::size_t keyword)
{
    std::size_t i = keyword + author_keyword.size();
    while (i < line.size() && is_blank(line[i]))
        ++i;
    if (i == line.size() || line[i] != '=')
        return not_found;
    ++i;
    while (i < line.size() && is_blank(line[i]))
        ++i;
    if (i == line.size() || (line[i] != '{' && line[i] != '"'))
        return not_found;
    return i;
}

// After the value only blanks, at most one comma and a final CR may follow:
// anything else (a second field, a `#` concatenation) would be cut away.
bool only_field_end_follows(const std::string& line, std::size_t from)
{
    std::size_t end = line.size();
    if (end > from && line[end - 1] == '\r')
        --end;
    bool comma = false;
    for (std::size_t i = from; i < end; ++i) {
        if (line[i] == ',' && !comma)
            comma = true;
        else if (!is_blank(line[i]))
            return false;
    }
    return true;
}

// True when cutting at `cut` leaves a well-formed field: `cut` lies inside
// the value opened at `open`, at its top level, and the value closes later on
// this line with nothing but the field's end after it.
bool cut_is_sound(const std::string& line, std::size_t open, std::size_t cut)
{
    if (cut <= open)
        return false;
    const bool quoted = line[open] == '"';
    auto next = [&line](char c, std::size_t from) { return find_byte(line, c, from, line.size()); };
    // Only braces and, in a quoted value, the quote change the depth; jump
    // from one to the next instead of looking at every byte in between.
    std::size_t next_open = next('{', open + 1);
    std::size_t next_close = next('}', open + 1);
    std::size_t next_quote = quoted ? next('"', open + 1) : not_found;

    // Braces inside the value; a braced value counts its own opening brace.
    std::size_t depth = quoted ? 0 : 1;
    const std::size_t top = depth;
    bool cut_passed = false;
    std::size_t depth_at_cut = 0;
    for (;;) {
        const std::size_t at = std::min({next_open, next_close, next_quote});
        if (at == not_found)
            return false;  // the value goes on past this line
        if (!cut_passed && at >= cut) {
            cut_passed = true;
            depth_at_cut = depth;
        }
        if (at == next_open) {
            ++depth;
            next_open = next('{', at + 1);
            continue;
        }
        if (at == next_close) {
            if (depth == 0)
                return false;  // a stray `}` in a quoted value: malformed
            next_close = next('}', at + 1);
            if (--depth != 0 || quoted)
                continue;
        } else if (depth != 0) {  // a quote inside braces is text
            next_quote = next('"', at + 1);
            continue;
        }
        // `at` closes the value.
        return cut_passed && depth_at_cut == top && only_field_end_follows(line, at + 1);
    }
}

}  // namespace

std::string rewrite_author_line(const std::string& line, std::int32_t author_limit)
{
    // Anchored on the "h", the rarest of its letters in real bibliographies.
    const std::size_t keyword = find_folded<author_keyword, 3>(line, 0);
    if (keyword == not_found)
        return line;

    // 64 bits so that counting can never overflow, whatever the limit.
    std::int64_t names = 1;
    std::size_t scan = keyword + keyword_skip;
    while (names <= author_limit) {
        // Anchored on the "d": rarer in names than the spaces.
        const std::size_t separator = find_folded<author_separator, 3>(line, scan);
        if (separator == not_found)
            return line;
        scan = separator + separator_length;
        ++names;
    }

    const std::size_t open = value_start(line, keyword);
    if (open == not_found || !cut_is_sound(line, open, scan))
        return line;

    const std::string_view tail = line[open] == '"' ? quoted_others_tail : others_tail;
    return shortened(line, scan, tail);
}
