#include "author_list.h"
#include "bib_properties.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct row {
    std::int32_t limit;
    std::string line;
    std::string expected;  // empty: the line comes back unchanged
};

void check(const std::vector<row>& rows)
{
    for (const row& r : rows) {
        const std::string& expected = r.expected.empty() ? r.line : r.expected;
        EXPECT_EQ(rewrite_author_line(r.line, r.limit), expected) << "limit " << r.limit << ", line: " << r.line;
    }
}

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
        // "and" must have a space on each side
        {1, "author = {Sand, A. andB and\tC},", ""},
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
        {1, "author = {A and B and C}", "author = {A and others },"},
        {1, "author = {A and B and C} , \t", "author = {A and others },"},
        {1, "author = {A and B and C},\r", "author = {A and others },"},
        {1, "author = {A and B and C},,", "author = {A and others },,"},
        {1, "author = {A and B and C}\r\r", "author = {A and others }\r\r"},
        // a cut right at the closing brace
        {1, "author = {A and }", "author = {A and others },"},
        // a list already cut, by etal or by hand, reads as one: left as it is
        {6, "author = {A and B and C and D and E and F and others},", ""},
        {2, "author = \"A and B and\tothers \",", ""},
        {1, "author = {A and others}", ""},
        // ... but not when more follows "others"
        {2, "author = {A and B and others and C},", "author = {A and B and others },"},
    });
}

// A list whose last name is "et al." written as a name, which styles print as
// a person, ends in "others" instead; every other byte stays.
TEST(RewriteAuthorLine, MendsEtAlWrittenAsAName)
{
    check({
        // each spelling, in any case, braced or not
        {6, "author = {Barale, J. and et al.},", "author = {Barale, J. and others},"},
        {6, "author = {A and et al},", "author = {A and others},"},
        {6, "author = {A and et. al.},", "author = {A and others},"},
        {6, "author = {A and Et Al.}", "author = {A and others}"},
        {6, "author = {A and et~al.} ,", "author = {A and others} ,"},
        {6, "author = {A and et \t~ AL.  },", "author = {A and others  },"},
        {6, "author = {A and {et al.}},", "author = {A and others},"},
        {6, "author = {A and { ET AL }},", "author = {A and others},"},
        {6, "author = {RHIC and Alekseev, I. and Al., Et},", "author = {RHIC and Alekseev, I. and others},"},
        {6, "author = {A and al.,et},", "author = {A and others},"},
        {6, "author = {A and Al , Et.},", "author = {A and others},"},
        {6, "author = {Chipman, Lindsay and Podgorski, David and {others}},", "author = {Chipman, Lindsay and Podgorski, David and others},"},
        {6, "author = {Ashman, J and Others},", "author = {Ashman, J and others},"},
        {6, "AUTHOR = \"A AND OTHERS\",\r", "AUTHOR = \"A AND others\",\r"},
        {6, "@a{K, author={A and et al.}, editor={B and et al.}}", "@a{K, author={A and others}, editor={B and et al.}}"},
        // left alone: in the middle, only within a name, alone, no spelling
        {6, "author = {A and et al. and B},", ""},
        {6, "author = {A and Boomsma et Al.},", ""},
        {6, "author = {A and \\textit{et al.} Bionta},", ""},
        {6, "author = {et al.},", ""},
        {6, "author = {{A and et al.}},", ""},
        {6, "author = {A and others},", ""},
        {6, "author = {A and etal},", ""},
        {6, "author = {A and et alii},", ""},
        {6, "author = {A and al. et},", ""},
        {6, "author = {A and {others} Jr},", ""},
        {6, "author = {A and {et al.},", ""},
        {6, "author = {A and et al.} # {B},", ""},
        // the count: at, under and over it; a list over it with only the
        // spelling after the names kept is mended, any other is cut
        {2, "author = {A and et al.},", "author = {A and others},"},
        {3, "author = {A and et al.},", "author = {A and others},"},
        {1, "author = {A and et al.},", "author = {A and others},"},
        {2, "author = {A and B and Others},", "author = {A and B and others},"},
        {2, "author = {A and B and {others}},", "author = {A and B and others},"},
        {1, "author = {A and B and et al.},", "author = {A and others },"},
        {-1, "author = {A and et al.},", ""},
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

// A filter that notes its cuts tells where each list stands: the line its
// value opens on, its entry's key, its field as written, all its names.
TEST(FilterAuthorLines, NotesWhereEachCutListStands)
{
    const struct {
        std::string text;
        std::int32_t limit;
        std::string notes;  // "LINE KEY FIELD NAMES;" a cut
    } rows[] = {
        {"@article{ atlas2012 ,\n  Author = {A and B and C},\n}\n", 2, "2 atlas2012 Author 3;"},
        // every name is counted, over every line of the value
        {"  @a(k,\n author = {A and\n B and\n C and D and E},\n", 1, "2 k author 5;"},
        // two fields on an entry's one line; a name that holds the field's
        {"@a{K, author={A and B and C}, bookauthor={D and E and F}}", 2, "1 K author 3;1 K bookauthor 3;"},
        {"@a{J,}\n@a{K, author={A and B and C}}\n", 2, "2 K author 3;"},
        // a byte order mark before the first entry
        {"\xEF\xBB\xBF@a{K,\n author = {A and B and C},\n}\n", 2, "2 K author 3;"},
        {"\xEF\xBB\xBF @a{K,\n title = {T},\n}\n@b{L,\n author = {A and B and C},\n}\n", 2, "5 L author 3;"},
        // no entry before it, or none with a key
        {"author = {A and B and C},\n", 2, "1 ? author 3;"},
        {"@a{K,\n@string{x = {y}}\nauthor = {A and B and C},\n", 2, "3 ? author 3;"},
        // no cut, no note: short enough, joined by #, never closed, cut already
        {"@a{K,\nauthor = {A and B and C} # {D},\nauthor = {A and B},\nauthor = {A and B and others},\nauthor = {A and B and C\n",
         2, ""},
        // a mend, with its name as written, over lines too
        {"@a{K,\n author = {A and\n B and et\r\n   al.},\n}\n", 6, "2 K author 3 et\r\n   al.;"},
        {"@a{K,\n author = {A and B and Al., Et},\n}\n", 2, "2 K author 3 Al., Et;"},
        // empty lines, which a piece may start with, and a key longer than
        // the blocks the entries are searched in
        {"\n\n@a{K,\n\n\n author = {A and B and C},\n\n@b{" + std::string(40, 'k') + ",\n\n author = {A and B and C},\n", 2,
         "6 K author 3;10 " + std::string(40, 'k') + " author 3;"},
    };
    // Each row line by line, and through the line loop, which passes over
    // runs of lines at once and counts them, and finds their entries, only
    // where a note needs it: fed whole, and in pieces of each size up to 9.
    for (const auto& r : rows) {
        for (std::size_t piece = 0; piece < 10; ++piece) {
            list_filter filter(list_rule{r.limit}, cut_notes::with_text);
            if (piece == 0) {
                filter_text(r.text, filter);
            } else {
                line_loop loop(filter);
                text_output written;
                for (std::size_t at = 0; at < r.text.size(); at += piece == 9 ? r.text.size() : piece)
                    loop.feed(std::string_view(r.text).substr(at, piece == 9 ? r.text.size() : piece), written);
                loop.finish(written);
            }
            std::string notes;
            for (const list_cut& cut : filter.take_cuts())
                notes += std::to_string(cut.line) + " " + cut.key + " " + cut.field + " " + std::to_string(cut.names) +
                         (cut.et_al.empty() ? "" : " " + cut.et_al) + ";";
            EXPECT_EQ(notes, r.notes) << r.text << (piece == 0 ? "" : ", through the line loop in pieces of ")
                                      << (piece == 0 ? "" : std::to_string(piece));
        }
    }
    // Many entries: each note's line and key, counted and found over blocks
    // of lines passed whole, in pieces of several sizes.
    std::string text;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        text += "@article{key" + std::to_string(i) + ",\n  title = {Title " + std::string(static_cast<std::size_t>(i % 37), 't') +
                "},\n\n  author = {A and B and C},\n}\n";
        expected += std::to_string(5 * i + 4) + " key" + std::to_string(i) + ";";
    }
    for (const std::size_t piece : {7, 64, 1000, 100000}) {
        list_filter filter(list_rule{2}, cut_notes::alone);
        line_loop loop(filter);
        text_output written;
        for (std::size_t at = 0; at < text.size(); at += piece)
            loop.feed(std::string_view(text).substr(at, piece), written);
        loop.finish(written);
        std::string notes;
        for (const list_cut& cut : filter.take_cuts())
            notes += std::to_string(cut.line) + " " + cut.key + ";";
        EXPECT_EQ(notes, expected) << "pieces of " << piece;
    }
}

// The rule through the line loop, as -i, --check and the page run it: `text`
// fed in two pieces, cut at `cut`.
std::string through_loop(std::string_view text, const list_rule& rule, std::size_t cut)
{
    list_filter filter(rule);
    line_loop loop(filter);
    text_output written;
    cut = std::min(cut, text.size());
    loop.feed(text.substr(0, cut), written);
    loop.feed(text.substr(cut), written);
    loop.finish(written);
    return written.text;
}

// The names of each list are sought over a run of lines, sixteen bytes at a
// time, four blocks a step: a list at every offset of them, its field in
// every letter case, after lines that hold the name's ends or the name in
// another role, and a piece cut anywhere in its line.
TEST(FilterAuthorLines, FindsAListAtEveryOffsetOfItsRun)
{
    const std::string others = "  title = {An author's aura or},\n  authors = {X and Y and Z},\n  author: {X and Y},\n";
    for (const std::string name : {"author", "AUTHOR", "Author", "aUtHoR", "bookauthor"}) {
        for (std::size_t before = 0; before < 80; ++before) {
            const std::string lines = std::string(before, 'x') + "\n" + others;
            const std::string text = lines + "  " + name + " = {A and B and C},\n}\n";
            const std::string expected = lines + "  " + name + " = {A and B and others },\n}\n";
            for (const std::size_t cut : {std::size_t{0}, before, lines.size() + 4, lines.size() + name.size() + 6, text.size()})
                ASSERT_EQ(through_loop(text, {2}, cut), expected) << name << ", " << before << " bytes before, cut at " << cut;
        }
    }
}

// A value is gone through sixteen bytes at a time, its last bytes too:
// braces, quotes, separators (in any case, overlapping or not) and its close
// at every lane of a block, and the lists of many names whose separators a
// block counts at once, cut before, in or after the block.
TEST(FilterAuthorLines, GoesThroughAValueInBlocks)
{
    const auto joined = [](const std::vector<std::string>& names, std::size_t count, const std::string& separator) {
        std::string list;
        for (std::size_t i = 0; i < count; ++i)
            list += (i == 0 ? "" : separator) + names[i];
        return list;
    };
    for (std::size_t length = 1; length < 40; ++length) {
        const std::string first(length, 'a');
        const std::vector<std::vector<std::string>> lists = {
            {first, "B", "{C and D}", "E", "F"},
            {first, "{B \" and} C", "D", "{{E} and F}"},
            {first, "and B", "C", "D"},  // "and and": the second overlaps the first
            {first, "N1", "N2", "N3", "N4", "N5", "N6", "N7", "N8", "N9", "N10", "N11", "N12", "N13", "N14", "N15", "N16",
             "N17", "N18", "N19"},
        };
        for (const std::vector<std::string>& names : lists) {
            for (const std::string separator : {" and ", " AnD "}) {
                const std::string list = joined(names, names.size(), separator);
                for (const char delimiter : {'{', '"'}) {
                    const std::string opening = std::string("  author = ") + delimiter;
                    const std::string closing = delimiter == '{' ? "}" : "\"";
                    const std::string tail = delimiter == '{' ? "others }," : "others\",";
                    for (const std::string& end : {closing + ",", closing + "\r", closing + " , ", closing}) {
                        const std::string line = opening + list + end;
                        for (const std::int32_t count : {1, 3, 7, 19, 20}) {
                            for (const std::int32_t keep : {0, 1}) {
                                const std::size_t kept = keep > 0 ? 1 : static_cast<std::size_t>(count);
                                const std::string expected = names.size() > static_cast<std::size_t>(count)
                                                                 ? opening + joined(names, kept, separator) + separator + tail + "\n"
                                                                 : line + "\n";
                                const list_rule rule{count, keep};
                                ASSERT_EQ(filter_text(line, rule), expected) << line << " at " << count << ", keep " << keep;
                                ASSERT_EQ(through_loop(line + "\n", rule, length), expected) << line << " through the loop";
                            }
                        }
                    }
                }
            }
        }
    }
}

// dblp indents each name by fifteen blanks or more, gone over eight at a
// time: a cut right after them, and an entry that starts after them.
TEST(FilterAuthorLines, PassesOverTheBlanksThatBeginALine)
{
    for (std::size_t blanks = 0; blanks < 34; ++blanks) {
        const std::string indent(blanks, ' ');
        const std::string text = "author = {A and\n" + indent + "B and\n" + indent + "C},\n";
        EXPECT_EQ(through_loop(text, {1}, 0), "author = {A and\n" + indent + "others },\n") << blanks << " blanks";
        EXPECT_EQ(filter_text(text, {2}), "author = {A and\n" + indent + "B and\n" + indent + "others },\n");
        // A value that never closed, given up at the entry that follows.
        const std::string unclosed = "author = {A and\n" + indent + "B and C\n" + indent + "@b{K, author = {D and E}}\n";
        EXPECT_EQ(filter_text(unclosed, {1}), "author = {A and\n" + indent + "B and C\n" + indent +
                                                  "@b{K, author = {D and others }}\n") << blanks << " blanks";
    }
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
