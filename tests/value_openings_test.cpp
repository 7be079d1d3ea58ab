#include "rule_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The names of each list are sought over a run of lines, sixteen bytes at a
// time, four blocks a step: a list at every offset of them, its field in
// every letter case, after lines that hold the name's ends or the name in
// another role, and a piece cut anywhere in its line.
TEST(ValueOpenings, FindsAListAtEveryOffsetOfItsRun)
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

}  // namespace
