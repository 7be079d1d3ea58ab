// Reading a listed value, a line at a time and sixteen bytes at a time
// within one: its braces and, in a quoted value, its quotes, which say where
// it stands and where it closes; the separators at its top level, which
// count its names; the place of the cut, after the names a list keeps; and
// where its last name so far starts on the line. It holds nothing of the
// text: what to write is for others to decide.
#pragma once

#include "bibtex_text.h"
#include "vector_search.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

/// Where reading a line of a value stopped.
enum class value_end {
    line_end,   // the value goes on past the line
    closed,     // at its closing brace or quote
    malformed,  // at a `}` that BibTeX refuses in a quoted value
};

class value_reader {
public:
    /// Separators are counted up to `count_to` (none below 1), the cut set
    /// after the `keep`-th.
    value_reader(std::int64_t count_to, std::int32_t keep) : count_to_(count_to), keep_(keep) {}

    /// Whether a value is open, left so by the last line read.
    bool open() const { return open_; }

    /// A value opens with `delimiter`, `{` or `"`; its first name starts at
    /// `first` on the line.
    void start(char delimiter, std::size_t first);

    /// The value is done with: closed, or given up.
    void close() { open_ = false; }

    /// A line goes on with the open value, whose first byte after its blanks
    /// is at `at`. The line end and those blanks read as one space, which
    /// may complete a separator; a cut right after it falls at `at`.
    void goes_on(std::size_t at, std::size_t& cut_here);

    /// Goes through the value on `line` from `at`, and leaves `at` where it
    /// closes; sets `cut_here` when the cut falls on the line.
    value_end read(std::string_view line, std::size_t& at, std::size_t& cut_here);

    /// The separators counted so far: the names, less one, while counting.
    std::int64_t separators() const { return separators_; }

    /// Whether every separator so far has been counted: the list is then
    /// not over the count, and its last name is known.
    bool all_counted() const { return separators_ < count_to_ && !copying_; }

    /// The value is too long to hold: it is copied on as it is, and no more
    /// separators are counted.
    void copy_on() { copying_ = true; }

    /// Whether the line read ends in a separator but for its last space,
    /// which the line end completes: the last name so far is not the last.
    bool separator_at_line_end() const { return matched_ + 1 == author_separator.size(); }

    /// `{` or `"`, what opened the value.
    char delimiter() const { return delimiter_; }

    /// The braces open inside the value, where the last line read stopped.
    std::size_t depth() const { return nested_; }

    /// Where the last name so far starts on the line read, while counting:
    /// all before it since the separator, or the value's opening, was blank;
    /// not_found once forgotten.
    std::size_t last_name_on_line() const { return name_from_; }
    void forget_last_name() { name_from_ = not_found; }

private:
    bool counting_separators() const { return nested_ == 0 && separators_ < count_to_ && !copying_; }
    void note_separator(std::size_t after, std::size_t& cut);

    std::int64_t count_to_;
    std::int32_t keep_;
    bool open_ = false;
    char delimiter_ = '{';
    std::size_t nested_ = 0;       // braces open inside it
    std::int64_t separators_ = 0;  // found at its top level, up to count_to_
    std::size_t matched_ = 0;      // bytes of a separator matched so far
    bool copying_ = false;
    std::size_t name_from_ = not_found;
};

/// Calls `each(from, to, ends)` for each name of `text`, a stretch of a
/// value that starts `depth` braces in, in order, until it returns false:
/// the name's bytes [from, to), and whether a separator follows it within
/// the stretch. The separators are those `value_reader` counts; a line end
/// just before or after the stretch (`blank_before`, `blank_after`) reads as
/// a blank. A byte at a time: for the few stretches whose names are looked
/// at one by one.
template <class Each>
void for_each_name(std::string_view text, std::size_t depth, bool blank_before, bool blank_after, Each&& each)
{
    constexpr std::size_t length = author_separator.size();
    // Whether the `k`-th byte of a separator may stand at `q`: where `q` is
    // just before the stretch or just past it, the line end there.
    const auto may_stand = [&](std::size_t q, std::size_t k) {
        if (q == not_found || q == text.size())
            return author_separator[k] == ' ' && (q == not_found ? blank_before : blank_after);
        return q < text.size() && is_separator_byte(text[q], k);
    };
    const auto separator_at = [&](std::size_t p) {
        for (std::size_t k = 0; k < length; ++k)
            if (!may_stand(p + k, k))
                return false;
        return true;
    };
    std::size_t name = 0;
    if (blank_before && depth == 0 && separator_at(not_found)) {
        if (!each(std::size_t{0}, std::size_t{0}, true))
            return;
        name = length - 1;
    }
    for (std::size_t p = name; p < text.size(); ++p) {
        const char c = text[p];
        if (c == '{') {
            ++depth;
        } else if (c == '}' && depth > 0) {
            --depth;
        } else if (depth == 0 && is_blank(c) && separator_at(p)) {
            if (!each(name, p, true))
                return;
            name = std::min(p + length, text.size());
            p = name - 1;
        }
    }
    if (name < text.size())
        each(name, text.size(), false);
}
