#include "rule_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A filter that notes its cuts tells where each list stands: the line its
// value opens on, its entry's key, its field as written, all its names.
TEST(FilePosition, NotesWhereEachCutListStands)
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
         2, "2 K author 3 (joined with #);"},
        // lists that BibTeX builds from macros defined before, and with #, where the rule cannot cut them
        {"@string{GoF = \"A and B and C\"}\n@a{K,\n author = GoF,\n}\n", 2, "3 K author 3 (the macro GoF);"},
        // ... after a byte order mark, in a run of lines too (found by the fuzzer)
        {"\xEF\xBB\xBF@string{GoF = \"A and B and C\"}\n@a{K,\n author = GoF,\n}\n", 2, "3 K author 3 (the macro GoF);"},
        {"@String( x = {A and\n B and C})\n@a{K, author = X # { and D}}\n", 2, "3 K author 4 (joined with #);"},
        {"@string{and = \" and \"}\n@a{K,\n author = {A} # and # {B} # and # \"C\",\n}\n", 2, "3 K author 3 (joined with #);"},
        {"@a{K,\n author = {A and B} #\n   { and C},\n}\n", 2, "2 K author 3 (joined with #);"},
        // a definition open at a piece's end, after a value that closed in it (found by the fuzzer)
        {"@a{K,\n author = {A},\n}\n@string{x = {A and\n B and C}}\n@b{L, author = x}\n", 2, "6 L author 3 (the macro x);"},
        // ... but not one that fits, reads as cut already, or is not defined yet (then it is)
        {"@string{c = \"A and B and others\"}\n@a{K,\n author = c # {},\n editor = c,\n}\n", 2, ""},
        {"@a{K,\n author = GoF,\n}\n@string{GoF = \"A and B and C\"}\n@b{L, author = {A} # GoF, year = 1990}\n", 2, "5 L author 3 (joined with #);"},
        // a mend, with its name as written, over lines too
        {"@a{K,\n author = {A and\n B and et\r\n   al.},\n}\n", 6, "2 K author 3 et\r\n   al. -> others;"},
        {"@a{K,\n author = {A and B and Al., Et},\n}\n", 2, "2 K author 3 Al., Et -> others;"},
        // "et al." inside the last name: mended, as one name more, over two
        // lines too; a name where no rule can tell the person apart, noted
        {"@a{K,\n author = {A and J. Grue\r\n   et al.},\n}\n", 6, "2 K author 3 J. Grue\r\n   et al. -> J. Grue and others;"},
        {"@a{K,\n author = {A and J. Grue et al.},\n}\n", 1, "2 K author 3;"},
        {"@a{K,\n author = {Et al., Ziminsky},\n}\n", 1, "2 K author 2 Et al., Ziminsky -> Ziminsky and others;"},
        {"@Fab{Fab2016,\n author = {H.~Voss and C. et. al.~Fabricius},\n}\n", 6, "2 Fab2016 author 2 C. et. al.~Fabricius ->;"},
        {"@a{K,\n author = {{A. Avasthi et al}},\n}\n", 6, "2 K author 1 {A. Avasthi et al} ->;"},
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
                         (cut.et_al.empty() ? "" : " " + cut.et_al + " ->" + (cut.now.empty() ? "" : " " + cut.now)) +
                         (cut.built.empty() ? "" : " (" + cut.built + ")") + ";";
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
    for (const std::size_t piece : {std::size_t{7}, std::size_t{64}, std::size_t{1000}, std::size_t{100000}}) {
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

}  // namespace
