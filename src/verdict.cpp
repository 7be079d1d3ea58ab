#include "verdict.h"

#include "bibtex_text.h"
#include "vector_search.h"

#include <algorithm>
#include <iterator>

namespace {

// The spellings, in any letter case: a letter matches itself, `.` is an
// optional full stop, `~` one or more spaces or ties, `_` any spaces.
constexpr std::string_view et_al_spellings[] = {"et.~al.", "al._,_et.", "others"};

}  // namespace

et_al_reading read_et_al(std::string_view text)
{
    std::size_t i = 0;
    const auto skip_spaces = [&text, &i] {
        while (i < text.size() && is_space(text[i]))
            ++i;
    };
    skip_spaces();
    const std::size_t from = i;
    if (i == text.size())
        return {et_al_match::blank};
    const bool braced = text[i] == '{';
    if (braced) {
        ++i;
        skip_spaces();
        if (i == text.size())
            return {et_al_match::partial};
    }
    const auto spelling = std::find_if(std::begin(et_al_spellings), std::end(et_al_spellings),
                                       [c = text[i]](std::string_view s) { return matches_folded(c, s[0]); });
    if (spelling == std::end(et_al_spellings))
        return {et_al_match::no};
    const std::size_t word = i;
    for (const char p : *spelling) {
        if (p == '~' || p == '_') {
            const std::size_t start = i;
            while (i < text.size() && (is_space(text[i]) || (p == '~' && text[i] == '~')))
                ++i;
            if (p == '~' && i == start)
                return {i == text.size() ? et_al_match::partial : et_al_match::no};
        } else if (p == '.') {
            i += i < text.size() && text[i] == '.' ? 1 : 0;
        } else if (i == text.size()) {
            return {et_al_match::partial};
        } else if (!matches_folded(text[i], p)) {
            return {et_al_match::no};
        } else {
            ++i;
        }
    }
    const std::size_t word_end = i;
    if (braced) {
        skip_spaces();
        if (i == text.size())
            return {et_al_match::partial};
        if (text[i++] != '}')
            return {et_al_match::no};
    }
    const std::size_t to = i;
    skip_spaces();
    if (i != text.size())
        return {et_al_match::no};
    const bool right_already = !braced && text.substr(word, word_end - word) == others_name;
    return {right_already ? et_al_match::others : et_al_match::whole, from, to};
}

judgement judge(bool over, std::string_view names)
{
    const et_al_reading reading = read_et_al(names);
    if (reading.match == et_al_match::whole)
        return {verdict::mend, reading.from, reading.to};
    return {over && reading.match != et_al_match::others ? verdict::cut : verdict::keep};
}

bool only_field_end(std::string_view rest)
{
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    bool comma = false;
    for (const char c : rest) {
        if (c == ',' && !comma)
            comma = true;
        else if (!is_blank(c))
            return false;
    }
    return true;
}
