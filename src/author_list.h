// The rule etal applies to a BibTeX file: shorten every author list that names
// more people than a limit so that styles print "et al.". A list is judged
// whole, however many lines its value takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Names an author field when followed by `=` and a value. Matched in any
/// letter case, as a plain substring: "Author", "AUTHOR", "bookauthor".
inline constexpr std::string_view author_keyword = "author";

/// What stands between two names; matched in any letter case ("AND", "And"),
/// and only at the value's top level: "{Barnes and Noble}" is one name.
inline constexpr std::string_view author_separator = " and ";

/// Ends a shortened braced value: BibTeX's "others" closes the list, then the
/// brace and comma that close the field again. Without the comma when the
/// rest of the closing line follows.
inline constexpr std::string_view others_tail = "others },";

/// Ends a shortened value written between double quotes.
inline constexpr std::string_view quoted_others_tail = "others\",";

/// The most bytes of lines held from a cut to the value's close (a 3,000-name
/// list one name a line takes about 100 KiB). Past it the held lines are
/// written unchanged and the value is copied on as one that never closes.
inline constexpr std::size_t held_lines_limit = std::size_t{1} << 20;

/// The rule's state from one line of a file to the next. Create it with the
/// limit and hand it every line in order; its other members belong to the
/// functions below.
struct author_scan {
    explicit author_scan(std::int32_t limit) : author_limit(limit) {}

    std::int32_t author_limit;

    bool in_value = false;       // the last line left an author value open
    char delimiter = '{';        // `{` or `"`, what opened it
    std::size_t nested = 0;      // braces open inside it
    std::int64_t separators = 0; // found at its top level, up to the limit
    std::size_t matched = 0;     // bytes of a separator matched so far
    bool cut_found = false;      // the cut is in `held`, at `cut`
    std::size_t cut = 0;
    std::string held;            // the lines from the cut line on, each with a line feed
    std::string out;             // what the last call asked to write
};

/// What to write for one line, in this order: `before` (whole lines, each
/// ending in a line feed; valid until the next call), then, if `write_line`,
/// the line itself unchanged with its line feed. Neither: the line is held.
struct line_output {
    std::string_view before;
    bool write_line = true;
};

/// Judges the next line of the file (without its line feed). Most lines come
/// back as `write_line` alone, with nothing copied. An author field whose
/// value names more than `author_limit` people is cut just after the
/// limit's last separator and closed by `others_tail` (`quoted_others_tail`
/// for a quoted value), then whatever followed the value on its closing line
/// unless that is only blanks, a comma and a final CR; the value's lines after
/// the cut are dropped. A value followed by `#` is left whole.
line_output filter_author_line(author_scan& scan, std::string_view line);

/// At the end of the input: the lines still held, of a value that never
/// closed, to be written unchanged.
std::string_view finish_author_lines(author_scan& scan);

/// The rule on a line alone: `line` with its author list cut after the first
/// `author_limit` names, or unchanged when the list fits, when `author_limit`
/// is below 1, or when the value does not close on the line.
std::string rewrite_author_line(const std::string& line, std::int32_t author_limit);
