#include "rule_rows.h"
#include "verdict.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A list whose last name is "et al." written as a name, which styles print as
// a person, ends in "others" instead; every other byte stays.
TEST(Verdict, MendsEtAlWrittenAsAName)
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
        // 等 and 等人, "and others" in Chinese lists: as a name, or after the person and a comma or blanks
        {6, "author = {史宏志 and 赵健 and 等},", "author = {史宏志 and 赵健 and others},"},
        {6, "author = {史宏志 and {等人}},", "author = {史宏志 and others},"},
        {2, "author = {A and B and 等},", "author = {A and B and others},"},
        {2, "author = {A and B and C and 等},", "author = {A and B and others },"},
        {6, "author = {曹健渭 and 卢荣胜 and 雷丽巧，等},", "author = {曹健渭 and 卢荣胜 and 雷丽巧 and others},"},
        {6, "author = {A and Lei, Qiao,等人},", "author = {A and Lei, Qiao and others},"},
        {6, "author = {A and 雷丽巧 等},", "author = {A and 雷丽巧 and others},"},
        {6, "author = {A and 雷丽巧等},", ""},  // no rule tells the person apart: a note
        {6, "author = {A and 等待},", ""},     // a word that starts with it
        {6, "author = {A and {雷丽巧，等}},", ""},
        // left alone: in the middle, only within a name, alone, no spelling
        {6, "author = {A and et al. and B},", ""},
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
        // "et al." inside the last name, after the person's: the person and others
        {6, "author = {J. Grue et al.},", "author = {J. Grue and others},"},
        {6, "author = {Krzywinski, Martin, et al.},", "author = {Krzywinski, Martin and others},"},
        {6, "author = {{Neben}, A.~R. et al},", "author = {{Neben}, A.~R. and others},"},
        {6, "author = {A and Boomsma et Al.} ,", "author = {A and Boomsma and others} ,"},
        {6, "author = {A and S. Agostinelli~ET.~AL. },", "author = {A and S. Agostinelli and others },"},
        {6, "author = {A and Bionta, \\textit{et al.}},", "author = {A and Bionta and others},"},
        {6, "author = {A and Bionta \\emph{ et al,}},", "author = {A and Bionta and others},"},
        {6, "author = {A and Bionta {\\it et al.}},", "author = {A and Bionta and others},"},
        {6, "author = {A and Bionta {\\em et. al.}},", "author = {A and Bionta and others},"},
        {6, "author = {A and Bionta {et al.}},", "author = {A and Bionta and others},"},
        {6, "author = \"A and B. Jones et al.\",\r", "author = \"A and B. Jones and others\",\r"},
        // ... or before a comma, as Mendeley splits "Ziminsky et al."
        {6, "author = {Smith, Jo and Et al., Ziminsky},", "author = {Smith, Jo and Ziminsky and others},"},
        {6, "author = {et. al. , Ziminsky, J.},", "author = {Ziminsky, J. and others},"},
        // left alone: where the person ends no rule can tell, or no "et al."
        {6, "author = {A and C. et. al.~Fabricius},", ""},
        {6, "author = {A and Liza et al. Nicholas},", ""},
        {6, "author = {{A. Avasthi et al}},", ""},
        {6, "author = {J. Grue et al. and B},", ""},
        {6, "author = {A and Grue{et al.}},", ""},
        {6, "author = {A and Grue \\itshape{et al.}},", ""},
        {6, "author = {A and {\\itet al.}},", ""},
        {6, "author = {A and , et al.},", ""},
        {6, "author = {A and Grue et al. et al.},", ""},
        {6, "author = {Et al., Grue et al.},", ""},
        {6, "author = {Et al.,},", ""},
        {6, "author = {A and Boomsma etal},", ""},
        {6, "author = {A and Brett Alan},", ""},
        {6, "author = {A and B et al.} # {C},", ""},
        // a person that ends or starts in "and" would lend it to a separator
        {6, "author = {A and Roland and et al.},", "author = {A and Roland and others},"},
        {6, "author = {Et al., Grue and},", ""},
        {6, "author = {A and  and~et al.},", ""},
        {6, "author = {A and  and, et al.},", ""},
        // the count: the list judged with "others" as a name, a list of one too
        {3, "author = {A and J. Grue et al.},", "author = {A and J. Grue and others},"},
        {2, "author = {A and J. Grue et al.},", "author = {A and J. Grue and others},"},
        {1, "author = {A and J. Grue et al.},", "author = {A and others },"},
        {1, "author = {J. Grue et al.},", "author = {J. Grue and others},"},
        {1, "author = {Et al., Ziminsky},", "author = {Ziminsky and others},"},
        {0, "author = {J. Grue et al.},", ""},
    });
}

// "et al." glued to the last name in each wrapper, with and without a full
// stop or a comma before its closing brace: each is the person and others.
TEST(Verdict, MendsEtAlInEachWrapper)
{
    std::vector<row> rows = {
        // a real file's
        {6, "author = {Ilchen, M. \\textit{et al.,}},", "author = {Ilchen, M. and others},"},
    };
    for (const std::string opening : {"\\textit{", "\\emph{", "{\\it ", "{\\em ", "{"})
        for (const std::string stop : {"", ".", ",", ".,", "..", ".,  "})
            rows.push_back({6, "author = {A and Bionta " + opening + "et al" + stop + "}},", "author = {A and Bionta and others},"});
    // no more than one of each before the brace
    for (const std::string stop : {",,", ",.", ".,."})
        rows.push_back({6, "author = {A and Bionta \\textit{et al" + stop + "}},", ""});
    check(rows);
}

// "et al." is sought sixteen places at a time, seven in an integer, or a
// byte at a time over the last few: found at every place of every length,
// and never for an "et" that another letter or no "al" follows.
TEST(Verdict, FindsEtAlAtEveryPlaceOfAName)
{
    for (std::size_t before = 0; before < 40; ++before) {
        for (std::size_t after = 0; after < 20; ++after) {
            const std::string filler(before, 'x');
            const std::string tail(after, ' ');
            EXPECT_TRUE(holds_et_al(filler + " eT~aL." + tail)) << before << ", " << after;
            EXPECT_TRUE(holds_et_al(filler + "\tET.Al" + tail)) << before << ", " << after;
            EXPECT_FALSE(holds_et_al(filler + " Bettina Al" + tail)) << before << ", " << after;
            EXPECT_FALSE(holds_et_al(filler + " et Ali" + tail)) << before << ", " << after;
        }
    }
}

// A name read as it stands at a line's end decides whether the lines wait:
// one that may still become "et al." should more text follow is partial.
TEST(Verdict, ReadsANameAsItMayBeEtAl)
{
    const struct {
        std::string text;
        et_al_match match;
        std::size_t from, to;  // when whole
    } rows[] = {
        // no name yet: it starts on a later line, if at all
        {"", et_al_match::blank, 0, 0},
        {" \t\r\n", et_al_match::blank, 0, 0},
        // cut short at a line end, in each spelling and in braces
        {"e", et_al_match::partial, 0, 0},
        {" et", et_al_match::partial, 0, 0},
        {"Al.", et_al_match::partial, 0, 0},
        {"al ,", et_al_match::partial, 0, 0},
        {"{et al.", et_al_match::partial, 0, 0},
        {"{ ", et_al_match::partial, 0, 0},
        // whole, without the spaces around it
        {" et al. ", et_al_match::whole, 1, 7},
        {"\n {ET~AL}\r\n", et_al_match::whole, 2, 9},
        {"Al., Et", et_al_match::whole, 0, 7},
        {"{others}", et_al_match::whole, 0, 8},
        {"Others", et_al_match::whole, 0, 6},
        // BibTeX's own word, already right
        {" others ", et_al_match::others, 0, 0},
        // another name, or more after the spelling
        {"Etzioni", et_al_match::no, 0, 0},
        {"etal", et_al_match::no, 0, 0},
        {"et al. Jr", et_al_match::no, 0, 0},
        {"{et al.} x", et_al_match::no, 0, 0},
        {"{et al.]", et_al_match::no, 0, 0},
    };
    for (const auto& r : rows) {
        const et_al_reading reading = read_et_al(r.text);
        EXPECT_EQ(reading.match, r.match) << r.text;
        if (r.match == et_al_match::whole) {
            EXPECT_EQ(r.text.substr(reading.from, reading.to - reading.from), r.text.substr(r.from, r.to - r.from)) << r.text;
        }
    }
}

}  // namespace
