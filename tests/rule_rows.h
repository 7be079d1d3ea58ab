// The rule's tables, shared by the tests of its parts: a line and what the
// rule makes of it at a count, and a text fed through the line loop.
#pragma once

#include "bib_properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A line and what the rule makes of it at `limit`.
struct row {
    std::int32_t limit;
    std::string line;
    std::string expected;  // empty: the line comes back unchanged
};

inline void check(const std::vector<row>& rows)
{
    for (const row& r : rows) {
        const std::string& expected = r.expected.empty() ? r.line : r.expected;
        EXPECT_EQ(rewrite_author_line(r.line, r.limit), expected) << "limit " << r.limit << ", line: " << r.line;
    }
}

// The rule through the line loop, as -i, --check and the page run it: `text`
// fed in two pieces, cut at `cut`.
inline std::string through_loop(std::string_view text, const list_rule& rule, std::size_t cut)
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
