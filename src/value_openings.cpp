#include "value_openings.h"

#include <algorithm>
#include <utility>

value_openings::value_openings(std::vector<std::string> fields, bool macros_too) : macros_too_(macros_too)
{
    for (std::string& name : fields) {
        if (name.empty())
            continue;
        for (char& c : name)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + ('a' - 'A'));
        const std::size_t last = std::min<std::size_t>(name.size(), 8);
        const folded_pattern pattern = fold_pattern(std::string_view(name).substr(name.size() - last));
        fields_.push_back({std::move(name), pattern});
    }
    std::vector<std::string_view> names;
    for (const field_name& field : fields_)
        names.emplace_back(field.lower);
    search_ = word_ends_search(names);
}

// Every line in a file has an `=` or two, and few a listed field's name: the
// names themselves are sought, and then the `=` after one.
std::size_t value_openings::find_in_run(std::string_view lines) const
{
    for (std::size_t at = 0; (at = search_.find(lines, at, lines.size())) != not_found; ++at) {
        for (const field_name& field : fields_) {
            const std::size_t name_end = at + field.lower.size();
            if (name_end > lines.size() || !ends_with_folded(lines, name_end, field.lower, field.pattern))
                continue;
            std::size_t equals = name_end;
            while (equals < lines.size() && is_blank(lines[equals]))
                ++equals;
            // The field's name is the one just matched: only its value is to
            // be found.
            if (equals < lines.size() && lines[equals] == '=') {
                const std::size_t open = value_opening_after(lines, equals, macros_too_);
                if (open != not_found)
                    return open;
            }
        }
    }
    return not_found;
}

std::size_t value_openings::lines_before_next(std::string_view lines)
{
    const std::size_t open = find_in_run(lines);
    if (open == not_found)
        return lines.size();
    const std::size_t line_feed = find_last(lines, '\n', 0, open);
    const std::size_t passed = line_feed == not_found ? 0 : line_feed + 1;
    next_line_ = lines.data() + passed;
    next_open_ = open - passed;
    return passed;
}
