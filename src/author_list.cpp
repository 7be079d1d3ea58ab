#include "author_list.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t not_found = std::string::npos;

// Folding is a fixed A-to-Z mapping whatever the locale: a byte matches a
// lower-case letter when it equals it with the 0x20 bit set, which only the
// letter and its capital do. Other bytes of a word must match exactly.
constexpr bool matches_folded(char byte, char lower)
{
    const bool letter = lower >= 'a' && lower <= 'z';
    return letter ? (static_cast<unsigned char>(byte) | 0x20U) == static_cast<unsigned char>(lower) : byte == lower;
}

// Position of the first `c` in [from, end) of `line`, or not_found.
std::size_t find_byte(const std::string& line, char c, std::size_t from, std::size_t end)
{
    if (from >= end)
        return not_found;
    const void* hit = std::memchr(line.data() + from, c, end - from);
    return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - line.data()) : not_found;
}

// A search for `word` in any letter case through a line, at positions that
// only ever grow. It looks for the byte at `anchor` with memchr, once per
// letter case, so that long lines are scanned at memory speed: the rarer that
// byte in real lines, the fewer candidates to check. The next hit of each
// case is kept between calls, so that finding every separator of a line
// reads it once, even where one of the two cases never occurs. The word is a
// template argument so that each candidate is checked by unrolled code.
template <const std::string_view& word, std::size_t anchor>
struct folded_search {
    static constexpr char small = word[anchor];
    static constexpr char capital = small >= 'a' && small <= 'z' ? static_cast<char>(small - 0x20) : small;

    const std::string& line;
    std::size_t small_at = 0;    // next start whose anchor byte is `small`
    std::size_t capital_at = 0;  // the same for `capital`

    explicit folded_search(const std::string& searched) : line(searched) {}

    std::size_t next_start(char c, std::size_t at) const
    {
        if (line.size() < word.size())
            return not_found;
        const std::size_t stop = line.size() - word.size() + 1;  // past the last start
        const std::size_t hit = find_byte(line, c, at + anchor, stop + anchor);
        return hit == not_found ? not_found : hit - anchor;
    }

    bool matches_at(std::size_t at) const
    {
        for (std::size_t i = 0; i < word.size(); ++i)
            if (!matches_folded(line[at + i], word[i]))
                return false;
        return true;
    }

    // First match at or after `from`, which is never less than in the last call.
    std::size_t find(std::size_t from)
    {
        if (small_at < from)
            small_at = next_start(small, from);
        if (capital_at < from)
            capital_at = capital != small ? next_start(capital, from) : not_found;
        while (small_at != not_found || capital_at != not_found) {
            const std::size_t at = std::min(small_at, capital_at);
            if (matches_at(at))
                return at;
            if (at == small_at)
                small_at = next_start(small, at + 1);
            else
                capital_at = next_start(capital, at + 1);
        }
        return not_found;
    }
};

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
    const std::size_t keyword = folded_search<author_keyword, 3>(line).find(0);
    if (keyword == not_found)
        return line;

    // 64 bits so that counting can never overflow, whatever the limit.
    std::int64_t names = 1;
    std::size_t scan = keyword + keyword_skip;
    // Anchored on the "d": rarer in names than the spaces.
    folded_search<author_separator, 3> separators(line);
    while (names <= author_limit) {
        const std::size_t separator = separators.find(scan);
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
