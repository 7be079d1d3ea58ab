// libFuzzer target for rewrite_author_line. The first four bytes choose the
// limit, any int32 value; the rest is the line. Every input must give the
// reference rule's answer, and that answer must have the shape of a cut.
#include "author_list.h"
#include "../tests/reference_rule.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

bool ends_with(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The delimiter that opens the value of the first "author" field in `text`.
char value_delimiter(const std::string& text)
{
    std::size_t i = folded_copy(text).find(author_keyword);
    if (i == std::string::npos)
        return 0;
    i += author_keyword.size();
    i = text.find_first_not_of(" \t", i);
    if (i == std::string::npos || text[i] != '=')
        return 0;
    i = text.find_first_not_of(" \t", i + 1);
    return i == std::string::npos ? 0 : text[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    std::int32_t limit = 0;
    std::memcpy(&limit, data, sizeof limit);
    const std::string line(reinterpret_cast<const char*>(data) + 4, size - 4);

    const std::string result = rewrite_author_line(line, limit);
    require(result == reference_rewrite(line, limit));
    // Shortening is final: a second pass at the same limit changes nothing.
    require(rewrite_author_line(result, limit) == result);
    if (result == line)
        return 0;

    // Otherwise: a proper prefix of the line that ends after a separator
    // inside the value, then the tail for that value's delimiter.
    require(limit >= 1);
    const bool quoted = ends_with(result, quoted_others_tail);
    const std::string_view tail = quoted ? quoted_others_tail : others_tail;
    require(ends_with(result, tail));
    require(result.size() <= line.size() + tail.size());
    const std::string prefix = result.substr(0, result.size() - tail.size());
    require(prefix.size() < line.size() && line.compare(0, prefix.size(), prefix) == 0);
    require(ends_with(folded_copy(prefix), author_separator));
    require(value_delimiter(prefix) == (quoted ? '"' : '{'));
    return 0;
}
