// What the rule knows of BibTeX's text, shared by each of its parts: which
// bytes are blanks and spaces, the word between two names, BibTeX's own
// name for those left out, and the mark some editors start a file with.
#pragma once

#include "vector_search.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

/// Names an author field when followed by `=` and a value. Matched in any
/// letter case, as a plain substring: "Author", "AUTHOR", "bookauthor".
inline constexpr std::string_view author_keyword = "author";

/// What stands between two names; matched in any letter case ("AND", "And"),
/// and only at the value's top level: "{Barnes and Noble}" is one name. Its
/// spaces are blanks, each a space or a tab, as BibTeX reads them (a line end
/// too, which the reader of a value sees to): "Chang and\tKenton Lee".
inline constexpr std::string_view author_separator = " and ";

/// BibTeX's own word for the names left out, which styles print as "et al.".
inline constexpr std::string_view others_name = "others";

/// A blank between the parts of a field: a space or a tab.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

/// A blank, or a line end: between the names of a value, all read as a space.
constexpr bool is_space(char c) { return is_blank(c) || c == '\r' || c == '\n'; }

/// Whether `c` may stand at `author_separator[k]`.
constexpr bool is_separator_byte(char c, std::size_t k)
{
    return author_separator[k] == ' ' ? is_blank(c) : matches_folded(c, author_separator[k]);
}

/// Whether `text` is the first `text.size()` bytes of a separator.
constexpr bool starts_separator(std::string_view text)
{
    if (text.size() > author_separator.size())
        return false;
    for (std::size_t k = 0; k < text.size(); ++k)
        if (!is_separator_byte(text[k], k))
            return false;
    return true;
}

/// Feeds `c`, a byte of a value's top level, to a separator match of which
/// `matched` bytes are matched so far; true when it completes one. A failed
/// match can only restart at a blank, since no other byte of the separator
/// is one, and separators never overlap.
constexpr bool completes_separator(char c, std::size_t& matched)
{
    if (is_separator_byte(c, matched)) {
        if (++matched < author_separator.size())
            return false;
        matched = 0;
        return true;
    }
    matched = is_blank(c) ? 1 : 0;
    return false;
}

/// How much of a separator `text`, of a value's top level, ends in: a line
/// end, read as a space, or the next part of a value may complete it.
constexpr std::size_t partial_separator(std::string_view text)
{
    for (std::size_t length = author_separator.size() - 1; length > 0; --length)
        if (text.size() >= length && starts_separator(text.substr(text.size() - length)))
            return length;
    return 0;
}

/// `text` without the spaces (blanks and line ends) around it.
inline std::string_view without_spaces_around(std::string_view text)
{
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

/// Where the blanks from `i` end. dblp indents each name of a list by 15
/// spaces or more: eight at a time.
inline std::size_t skip_blanks(std::string_view line, std::size_t i)
{
    constexpr std::uint64_t eight_spaces = 0x2020202020202020U;
    while (i + 8 <= line.size() && load_eight(line.data() + i) == eight_spaces)
        i += 8;
    while (i < line.size() && is_blank(line[i]))
        ++i;
    return i;
}

/// How many bytes of a UTF-8 byte order mark the first line of a file starts
/// with: 3, or 0. It is no part of the line: BibTeX passes over it as over
/// any text between entries.
inline std::size_t byte_order_mark_before(std::string_view first_line)
{
    return first_line.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}
