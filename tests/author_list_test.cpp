#include "rule_rows.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(RewriteAuthorLine, CountsNamesAgainstTheLimit)
{
    check({
        // eight names at the default limit keep six
        {6, "author = {Lee, A. and Ruiz, B. and Park, D. and Moss, E. and Kent, F. and Ford, G. and Hale, H.},",
         "author = {Lee, A. and Ruiz, B. and Park, D. and Moss, E. and Kent, F. and Ford, G. and others },"},
        // exactly the limit: unchanged
        {6, "author = {Lee, A. and Ruiz, B. and Park, D. and Moss, E. and Kent, F. and Ford, G.},", ""},
        // separators in any case, kept as written
        {1, "Author = {Smith, J. AND Doe, A. and Roe, B.},", "Author = {Smith, J. AND others },"},
        {2, "Author = {Smith, J. AND Doe, A. and Roe, B.},", "Author = {Smith, J. AND Doe, A. and others },"},
        {3, "Author = {Smith, J. AND Doe, A. and Roe, B.},", ""},
        {1, "author = {Solo},", ""},
        // keyword without separators
        {6, "title = {An author study},", ""},
        // separators never overlap: "and and" is one separator and a name
        {1, "author = {A and and B},", "author = {A and others },"},
        {2, "author = {A and and B},", ""},
        // a limit below 1 never cuts
        {-1, "author = {A and B},", ""},
        {0, "author = {A and B},", ""},
        {INT32_MIN, "author = {A and B},", ""},
        {INT32_MAX, "author = {A and B},", ""},
        // no keyword at all, in any case
        {1, "", ""},
        {1, "editor = {A and B and C},", ""},
        // mixed-case keyword, tabs around `=`, upper-case separators
        {2, "\tAUTHOR\t=\t{A AND B aNd C},", "\tAUTHOR\t=\t{A AND B aNd others },"},
        // "and" must have a blank on each side: a space or a tab, as BibTeX reads them
        {1, "author = {Sand, A. andB and\tC},", "author = {Sand, A. andB and\tothers },"},
        {1, "author = {Ming{-}Wei Chang and\tKenton Lee},", "author = {Ming{-}Wei Chang and\tothers },"},
        {1, "author = {A\tAND\tB},", "author = {A\tAND\tothers },"},
        {1, "author = {A\t\tand\t\tB},", "author = {A\t\tand\tothers },"},
        {2, "author = {A\tand\tand\tB and C},", "author = {A\tand\tand\tB and others },"},
        {1, "author = {A\vand\fB},", ""},
    });
}

TEST(RewriteAuthorLine, CutsTheFieldAsBibTeXReadsIt)
{
    check({
        // quoted value keeps its quote
        {2, "author = \"A and B and C\",", "author = \"A and B and others\","},
        // a whole entry on one line: what follows the value stays
        {3, "@a{K, title={Authoritarian and X}, author={A and B and C and D}, year={2024} }",
         "@a{K, title={Authoritarian and X}, author={A and B and C and others }, year={2024} }"},
        {3, "  author = {A and B and C and D}}", "  author = {A and B and C and others }}"},
        {1, "author = {A and B and C}, year = 2020,", "author = {A and others }, year = 2020,"},
        {1, "author = \"A and B\" }", "author = \"A and others\" }"},
        // separators in a later field are not the author's
        {2, "author = {A and B}, title = {X and Y},", ""},
        // the first "author" that names no field is passed over
        {1, "title = {Authorship and Power}, Author = {A and B},", "title = {Authorship and Power}, Author = {A and others },"},
        // a concatenation: its other parts may hold names
        {3, "author = {A and B and C and D} # \" and E\",", ""},
        {1, "author = {A and B and C}#x,", ""},
        // a list wrapped over lines does not close here: judged by the program
        {2, "  author = {A and B and C and", ""},
        // ` and ` inside nested braces is part of one name
        {2, "author = {{Barnes and Noble} and A and B},", "author = {{Barnes and Noble} and A and others },"},
        {3, "author = {{Barnes and Noble} and A and B},", ""},
        {1, "author = \"{Barnes and Noble} and C\",", "author = \"{Barnes and Noble} and others\","},
        // braces inside a quoted value, and a quote inside a braced one
        {1, "author = \"{\\\"O}zil and B and C\",", "author = \"{\\\"O}zil and others\","},
        {1, "author = {A \" and B and C},", "author = {A \" and others },"},
        // a stray closing brace makes a quoted value malformed
        {1, "author = \"A} and B and C\",", ""},
        // the keyword must name the field
        {1, "author: {A and B and C},", ""},
        {1, "author = A and B and C,", ""},
        {1, "authors = {A and B and C},", ""},
        {1, "% author = {A and B and C},", "% author = {A and others },"},
        {1, "bookauthor = {A and B},", "bookauthor = {A and others },"},
        // only blanks, one comma and a final CR make the full tail
        {1, "author = {A and B and C}", "author = {A and others }"},  // no comma followed: none is added
        {1, "author = {A and B and C} , \t", "author = {A and others } , \t"},
        {1, "author = {A and B and C},\r", "author = {A and others },\r"},  // a CRLF line keeps its CR
        {1, "author = {A and B and C},,", "author = {A and others },,"},
        {1, "author = {A and B and C}\r\r", "author = {A and others }\r\r"},
        // a cut right at the closing brace
        {1, "author = {A and }", "author = {A and others }"},
        // a list already cut, by etal or by hand, reads as one: left as it is
        {6, "author = {A and B and C and D and E and F and others},", ""},
        {2, "author = \"A and B and\tothers \",", ""},
        {1, "author = {A and others}", ""},
        // ... but not when more follows "others"
        {2, "author = {A and B and others and C},", "author = {A and B and others },"},
    });
}

TEST(RewriteAuthorLine, PassesEveryByteThrough)
{
    check({
        // UTF-8 kept in the prefix
        {1, "author = {B\xc3\xbc" "ttner, F. and Kj\xc3\xa4llquist, U. and C},",
         "author = {B\xc3\xbc" "ttner, F. and others },"},
        // NUL bytes are neither letters nor spaces
        {1, "author = {A\0and B and C},"s, "author = {A\0and B and others },"s},
        {1, "auth\0or = {A and B},"s, ""},
        // bytes that fold to a letter only with the 0x20 bit: never matched
        {1, "\xc1uthor = {A and B},", ""},
        {1, "author = {A\xa0" "and\xa0" "B and C},", "author = {A\xa0" "and\xa0" "B and others },"},
    });
}

// On lines alone and on files with wrapped values, at counts that cut often,
// none, or with no cut possible, keeping all names or fewer, for one field
// or several.
TEST(FilterAuthorLines, KeepsItsPromisesOnGeneratedText)
{
    std::mt19937 random(20261207);
    const std::vector<std::int32_t> extremes = {INT32_MIN, -1, 0, INT32_MAX};
    const std::vector<std::vector<std::string>> field_lists = {{"author"}, {"author", "editor"}, {"EDITOR"}};
    for (int i = 0; i < 100000; ++i) {
        const std::string text = i % 2 ? random_line(random) : random_file(random, 1 + random() % 12);
        const std::int32_t limit = i % 10 == 0 ? extremes[random() % extremes.size()]
                                               : static_cast<std::int32_t>(1 + random() % 6);
        const std::int32_t keep = i % 3 == 0 ? static_cast<std::int32_t>(1 + random() % 6) : 0;
        const list_rule rule{limit, keep, field_lists[static_cast<std::size_t>(i / 3) % field_lists.size()]};
        ASSERT_EQ(broken_promise(text, rule), "") << "limit " << limit << ", keep " << keep << ", text: " << text;
        if (!text.empty() && text.find('\n') == std::string::npos) {
            const std::string line = rewrite_author_line(text, limit);
            ASSERT_EQ(line + '\n', filter_text(text, {limit})) << "limit " << limit << ", line alone: " << text;
        }
    }
}

}  // namespace
