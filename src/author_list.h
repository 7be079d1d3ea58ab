// The rule etal applies to each line of a BibTeX file: shorten an author list
// that names more people than a limit so that styles print "et al.".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Marks an author line. Matched in any letter case, as a plain substring:
/// "Author", "AUTHOR" and "bookauthor" all count; only the first counts.
inline constexpr std::string_view author_keyword = "author";

/// What stands between two names; matched in any letter case ("AND", "And").
inline constexpr std::string_view author_separator = " and ";

/// Ends a shortened braced value: BibTeX's "others" closes the list, then the
/// brace and comma that close the field again.
inline constexpr std::string_view others_tail = "others },";

/// Ends a shortened value written between double quotes.
inline constexpr std::string_view quoted_others_tail = "others\",";

/// The separator search starts this far past the keyword. It is one short of
/// the keyword's length; harmless, as no separator can start inside it.
inline constexpr std::size_t keyword_skip = 5;

/// The search resumes this far past a separator, so that separators never
/// overlap: in "A and and B" the second "and" is a name, not a separator.
inline constexpr std::size_t separator_length = 5;

/// Returns `line` (one line of a .bib file, without its line feed) with its
/// author list cut after the first `author_limit` names and closed by
/// `others_tail`, or by `quoted_others_tail` for a value in double quotes.
///
/// The list is found by the first "author" in the line; the names are counted
/// by the separators after it. The line comes back unchanged when it names at
/// most `author_limit` authors, when `author_limit` is below 1, and whenever
/// the cut would not leave a well-formed field:
///  - the keyword is not followed by `=` and the value's `{` or `"`;
///  - the cut falls outside the value or inside nested braces ("{Barnes and
///    Noble}");
///  - the value does not close on this line (a list wrapped over lines), or
///    something other than blanks, one comma and a final CR follows it.
/// A shortened line loses whatever followed the value, including a final CR.
/// Bytes outside A to Z are never folded, so UTF-8 and NUL pass untouched.
std::string rewrite_author_line(const std::string& line, std::int32_t author_limit);
