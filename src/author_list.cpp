#include "author_list.h"

#include <cstring>

namespace {

constexpr std::size_t not_found = std::string::npos;

// Folding is a fixed A-to-Z mapping whatever the locale: a letter matches its
// lower-case form with the 0x20 bit set, and no other byte does.
bool is_letter(char c, char lower) { return (static_cast<unsigned char>(c) | 0x20U) == static_cast<unsigned char>(lower); }

bool matches_folded(const std::string& line, std::size_t at, std::string_view lower)
{
    for (std::size_t i = 0; i < lower.size(); ++i) {
        const char want = lower[i];
        const bool letter = want >= 'a' && want <= 'z';
        if (letter ? !is_letter(line[at + i], want) : line[at + i] != want)
            return false;
    }
    return true;
}

// Finds `lower` in any letter case by looking for its first byte with
// memchr, once per case, so that long lines are scanned at memory speed.
std::size_t find_folded(const std::string& line, std::size_t from, std::string_view lower)
{
    if (line.size() < lower.size())
        return not_found;
    const char* const data = line.data();
    const std::size_t last = line.size() - lower.size();
    const char first = lower.front();
    const bool letter = first >= 'a' && first <= 'z';
    const char upper = letter ? static_cast<char>(first - 0x20) : first;

    // Next occurrence of each case of the first byte, at or after `from`.
    auto next = [&](char c, std::size_t at) -> std::size_t {
        if (at > last)
            return not_found;
        const void* hit = std::memchr(data + at, c, last + 1 - at);
        return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : not_found;
    };
    std::size_t lo = next(first, from);
    std::size_t up = letter ? next(upper, from) : not_found;
    while (lo != not_found || up != not_found) {
        const std::size_t at = lo < up ? lo : up;
        if (matches_folded(line, at, lower))
            return at;
        if (at == lo)
            lo = next(first, at + 1);
        else
            up = next(upper, at + 1);
    }
    return not_found;
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
    // Braces inside the value; a braced value counts its own opening brace.
    std::size_t depth = quoted ? 0 : 1;
    const std::size_t top = depth;
    bool cut_at_top = false;
    for (std::size_t i = open + 1; i < line.size(); ++i) {
        if (i == cut)
            cut_at_top = depth == top;
        const char c = line[i];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (depth == 0)
                return false;  // a stray `}` in a quoted value: malformed
            if (--depth == 0 && !quoted)
                return cut <= i && cut_at_top && only_field_end_follows(line, i + 1);
        } else if (c == '"' && quoted && depth == 0) {
            return cut <= i && cut_at_top && only_field_end_follows(line, i + 1);
        }
    }
    return false;  // the value goes on past this line
}

}  // namespace

std::string rewrite_author_line(const std::string& line, std::int32_t author_limit)
{
    const std::size_t keyword = find_folded(line, 0, author_keyword);
    if (keyword == not_found)
        return line;

    // 64 bits so that counting can never overflow, whatever the limit.
    std::int64_t names = 1;
    std::size_t scan = keyword + keyword_skip;
    while (names <= author_limit) {
        const std::size_t separator = find_folded(line, scan, author_separator);
        if (separator == not_found)
            return line;
        scan = separator + separator_length;
        ++names;
    }

    const std::size_t open = value_start(line, keyword);
    if (open == not_found || !cut_is_sound(line, open, scan))
        return line;

    const std::string_view tail = line[open] == '"' ? quoted_others_tail : others_tail;
    std::string shortened;
    shortened.reserve(scan + tail.size());
    shortened.append(line, 0, scan);
    shortened.append(tail);
    return shortened;
}
