// libFuzzer target for the rule. The first four bytes choose the limit, any
// int32 value, the fifth the names kept and the fields; the rest is a text
// of any number of lines. Every text must keep the rule's promises, and a
// line alone must come back from rewrite_author_line as it comes out of a
// run over it.
#include "author_list.h"
#include "../tests/bib_properties.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    std::int32_t limit = 0;
    std::memcpy(&limit, data, sizeof limit);
    // Low bits: the names kept, 0 for as many as the limit; high bits: the fields.
    static const std::vector<std::string> field_lists[] = {{"author"}, {"author", "editor"}, {"editor"}, {"a"}};
    const list_rule rule{limit, data[4] & 0x3f, field_lists[data[4] >> 6]};
    const std::string text(reinterpret_cast<const char*>(data) + 5, size - 5);

    if (!broken_promise(text, rule).empty())
        std::abort();
    if (!text.empty() && text.find('\n') == std::string::npos &&
        rewrite_author_line(text, limit) + '\n' != filter_text(text, {limit}))
        std::abort();
    return 0;
}
