// Where listed values open: the names of the fields whose lists the rule
// judges, sought on one line or over a run of lines at once, then the `=`
// after one and the `{` or `"` that opens its value. Nothing here reads a
// value: it says where one starts.
#pragma once

#include "bibtex_text.h"
#include "vector_search.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// Position of the `{` or `"` that opens a value after the `=` at `equals`
/// and the blanks after it, or with `macros_too` of a letter or a digit (a
/// macro's name, a number); else not_found.
inline std::size_t value_opening_after(std::string_view text, std::size_t equals, bool macros_too = false)
{
    std::size_t open = equals + 1;
    while (open < text.size() && is_blank(text[open]))
        ++open;
    if (open == text.size())
        return not_found;
    const char c = text[open];
    if (c == '{' || c == '"')
        return open;
    if (!macros_too)
        return not_found;
    const bool name = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return name ? open : not_found;
}

/// The listed fields' names, each matched in any letter case as a plain
/// substring just before blanks, `=`, blanks and a value; and, after a run
/// of lines was searched, where the value on the line handed over next opens.
class value_openings {
public:
    /// Empty names are passed over. With `macros_too`, a value may open with
    /// a macro's name or a number too, for a filter that notes the lists it
    /// cannot cut.
    explicit value_openings(std::vector<std::string> fields, bool macros_too = false);

    /// Position of the `{` or `"` that opens the value of the first listed
    /// field on the line from `from`, or not_found.
    inline std::size_t find(std::string_view line, std::size_t from) const;

    /// How much of `lines` (whole lines, each ending in its line feed) comes
    /// before the line where the first listed value opens: all of it when
    /// none does. Where that value opens is kept for `known_on`.
    std::size_t lines_before_next(std::string_view lines);

    /// Where the value opens on `line`, when `lines_before_next` found it
    /// there (then once only); else not_found, and the line is to be searched.
    std::size_t known_on(std::string_view line)
    {
        if (line.data() != next_line_)
            return not_found;
        next_line_ = nullptr;
        return next_open_;
    }

    /// The run searched is gone: what was found in it no longer holds.
    void forget_run() { next_line_ = nullptr; }

private:
    struct field_name {
        std::string lower;
        folded_pattern pattern;  // of its last eight bytes, checked first
    };

    inline std::size_t value_after(std::string_view text, std::size_t equals) const;
    std::size_t find_in_run(std::string_view lines) const;

    std::vector<field_name> fields_;
    bool macros_too_;
    word_ends_search search_;  // for the names in a run of lines
    const char* next_line_ = nullptr;  // the line after a run, where a value opens
    std::size_t next_open_ = 0;        // on it
};

// The two below are on the way of every line of a file, and defined here so
// that the loop over the lines runs them without a call.

// Every field's name stands just before an `=`, so one search for `=` serves
// all the names: "Authoritarian" in a title names no field.
inline std::size_t value_openings::find(std::string_view line, std::size_t from) const
{
    for (std::size_t equals; (equals = find_first(line, '=', from, line.size())) != not_found; from = equals + 1) {
        const std::size_t open = value_after(line, equals);
        if (open != not_found)
            return open;
    }
    return not_found;
}

// Position of the `{` or `"` that opens a value after the `=` at `equals`,
// when a listed field's name stands before it; else not_found.
inline std::size_t value_openings::value_after(std::string_view text, std::size_t equals) const
{
    const std::size_t open = value_opening_after(text, equals, macros_too_);
    if (open == not_found)
        return not_found;
    std::size_t name_end = equals;
    while (name_end > 0 && is_blank(text[name_end - 1]))
        --name_end;
    for (const field_name& field : fields_)
        if (ends_with_folded(text, name_end, field.lower, field.pattern))
            return open;
    return not_found;
}
