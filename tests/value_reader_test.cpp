#include "rule_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A value is gone through sixteen bytes at a time, its last bytes too:
// braces, quotes, separators (in any case, overlapping or not) and its close
// at every lane of a block, and the lists of many names whose separators a
// block counts at once, cut before, in or after the block.
TEST(ValueReader, GoesThroughAValueInBlocks)
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
            for (const std::string separator : {" and ", " AnD ", "\tand ", " and\t", "\tAND\t"}) {
                const std::string list = joined(names, names.size(), separator);
                for (const char delimiter : {'{', '"'}) {
                    const std::string opening = std::string("  author = ") + delimiter;
                    const std::string closing = delimiter == '{' ? "}" : "\"";
                    const std::string tail = delimiter == '{' ? "others }" : "others\"";
                    for (const std::string& end : {closing + ",", closing + "\r", closing + " , ", closing}) {
                        const std::string line = opening + list + end;
                        for (const std::int32_t count : {1, 3, 7, 19, 20}) {
                            for (const std::int32_t keep : {0, 1}) {
                                const std::size_t kept = keep > 0 ? 1 : static_cast<std::size_t>(count);
                                const std::string expected = names.size() > static_cast<std::size_t>(count)
                                                                 ? opening + joined(names, kept, separator) + separator + tail + end.substr(1) + "\n"
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
TEST(ValueReader, PassesOverTheBlanksThatBeginALine)
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

}  // namespace
