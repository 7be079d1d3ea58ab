#include "verdict.h"

#include "bibtex_text.h"
#include "vector_search.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// The spellings, in any letter case: a letter matches itself, `.` is an
// optional full stop, `~` one or more spaces or ties, `_` any spaces.
constexpr std::string_view et_al_spellings[] = {"et.~al.", "al._,_et.", "others"};

// 等 ("and others") and 等人 ("and other people"), which Chinese lists end
// in as a name, or glued after the last person: where the one at `i` ends,
// or not_found.
constexpr std::string_view deng = "\xE7\xAD\x89";
constexpr std::string_view ren = "\xE4\xBA\xBA";
constexpr std::string_view fullwidth_comma = "\xEF\xBC\x8C";

std::size_t deng_end(std::string_view text, std::size_t i)
{
    if (text.substr(i, deng.size()) != deng)
        return not_found;
    i += deng.size();
    return text.substr(i, ren.size()) == ren ? i + ren.size() : i;
}

// Where a 等 or 等人 that ends `text` starts, or not_found.
std::size_t deng_at_end(std::string_view text)
{
    for (const std::size_t length : {deng.size() + ren.size(), deng.size()})
        if (text.size() >= length && deng_end(text, text.size() - length) == text.size())
            return text.size() - length;
    return not_found;
}

// Where the spaces (blanks and line ends) from `i` end.
std::size_t spaces_end(std::string_view text, std::size_t i)
{
    while (i < text.size() && is_space(text[i]))
        ++i;
    return i;
}

// Where the spaces that end `text` before `end` start.
std::size_t spaces_end_before(std::string_view text, std::size_t end)
{
    while (end > 0 && is_space(text[end - 1]))
        --end;
    return end;
}

}  // namespace

et_al_reading read_et_al(std::string_view text)
{
    std::size_t i = 0;
    const auto skip_spaces = [&text, &i] { i = spaces_end(text, i); };
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
    const std::size_t word = i;
    const auto spelling = std::find_if(std::begin(et_al_spellings), std::end(et_al_spellings),
                                       [c = text[i]](std::string_view s) { return matches_folded(c, s[0]); });
    const std::size_t chinese = deng_end(text, i);
    if (chinese != not_found)
        i = chinese;
    else if (spelling == std::end(et_al_spellings))
        return {et_al_match::no};
    for (const char p : chinese != not_found ? std::string_view() : *spelling) {
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

judgement judge_over(std::string_view names)
{
    const et_al_reading reading = read_et_al(names);
    if (reading.match == et_al_match::whole)
        return {verdict::mend, reading.from, reading.to, 0, 0, 0};
    return {reading.match == et_al_match::others ? verdict::keep : verdict::cut, 0, 0, 0, 0, 0};
}

namespace {

constexpr bool is_letter(char c) { return is_lower_letter(static_cast<char>(c | 0x20)); }

// Where `et`, an optional full stop, spaces or ties, `al` and an optional
// full stop end, read from `i` in any letter case; else not_found.
std::size_t plain_et_al_end(std::string_view text, std::size_t i)
{
    const auto word = [&text, &i](std::string_view lower) {
        if (text.size() - i < lower.size() || !equals_folded(text.substr(i, lower.size()), lower))
            return false;
        i += lower.size();
        return true;
    };
    if (i > text.size() || !word("et"))
        return not_found;
    i += i < text.size() && text[i] == '.' ? 1 : 0;
    const std::size_t between = i;
    while (i < text.size() && (is_space(text[i]) || text[i] == '~'))
        ++i;
    if (i == between || !word("al"))
        return not_found;
    return i + (i < text.size() && text[i] == '.' ? 1 : 0);
}

// Whether "et al." from `at` ends `text`: plain, or in one pair of braces,
// `\textit{...}`, `\emph{...}`, `{\it ...}` or `{\em ...}`, with a full
// stop or a comma allowed before the closing brace.
bool et_al_ends(std::string_view text, std::size_t at)
{
    if (plain_et_al_end(text, at) == text.size())
        return true;
    for (const std::string_view opening : {"{\\it", "{\\em", "\\textit{", "\\emph{", "{"}) {
        if (text.substr(at, opening.size()) != opening)
            continue;
        const std::size_t spaces = at + opening.size();
        std::size_t i = spaces_end(text, spaces);
        if (opening.back() != '{' && i == spaces)
            return false;  // `{\itet`: another command
        i = plain_et_al_end(text, i);
        if (i == not_found)
            return false;
        i = spaces_end(text, i + (i < text.size() && (text[i] == '.' || text[i] == ',') ? 1 : 0));
        return i + 1 == text.size() && text[i] == '}';
    }
    return false;
}

// Whether `name` opens with a brace that closes only at its end.
bool braced_as_a_whole(std::string_view name)
{
    if (name.size() < 2 || name.front() != '{' || name.back() != '}')
        return false;
    std::size_t depth = 0;
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        depth += name[i] == '{' ? 1 : 0;
        if (name[i] == '}' && --depth == 0)
            return false;
    }
    return true;
}

// A name that holds "et al." where a person's name is told apart from it:
// the bytes [from, to) of it that become the person's [person_from,
// person_to) and " and others".
struct glued_et_al {
    bool found = false;
    std::size_t from = 0;
    std::size_t to = 0;
    std::size_t person_from = 0;
    std::size_t person_to = 0;
};

// Whether `person`, then " and others", reads as that person and others.
// An "and" set apart by a space or a line end at either end of the person
// would be read as a separator: at its end with the one that follows ("Grue
// and" and " and others"), at its start with a space before it that the
// separator before did not take ("A and\n\nand~et al.").
bool reads_alone(std::string_view person)
{
    constexpr std::string_view word = author_separator.substr(1, author_separator.size() - 2);
    const std::size_t size = person.size();
    const bool opens_with_it = size >= word.size() && equals_folded(person.substr(0, word.size()), word) &&
                               (size == word.size() || is_space(person[word.size()]));
    const bool ends_with_it = size > word.size() && equals_folded(person.substr(size - word.size()), word) &&
                              is_space(person[size - word.size() - 1]);
    return size > 0 && !holds_et_al(person) && !opens_with_it && !ends_with_it;
}

glued_et_al read_glued(std::string_view name, std::size_t from, std::size_t to)
{
    const std::string_view whole(name.data() + from, to - from);
    if (whole.size() < 4)
        return {};
    // "雷丽巧，等": 等 or 等人 after the person, and a comma (full-width or
    // not) or blanks.
    const std::size_t chinese = deng_at_end(whole);
    if (chinese != not_found) {
        std::size_t end = spaces_end_before(whole, chinese);
        const bool fullwidth = end >= fullwidth_comma.size() &&
                               whole.substr(end - fullwidth_comma.size(), fullwidth_comma.size()) == fullwidth_comma;
        const bool comma = fullwidth || (end > 0 && whole[end - 1] == ',');
        end = spaces_end_before(whole, end - (fullwidth ? fullwidth_comma.size() : comma ? 1 : 0));
        if ((comma || end < chinese) && !braced_as_a_whole(whole) && reads_alone(whole.substr(0, end)))
            return {true, from, to, from, from + end};
        return {};
    }
    // Every spelling ends in `al` and perhaps a full stop, then, within
    // braces, perhaps a full stop or a comma, blanks and the brace; and
    // Mendeley's starts with `et`: most names are ruled out there. What is
    // passed over here is what `et_al_ends` takes, no more.
    std::size_t al_end = whole.size();
    if (whole.back() == '}') {
        for (--al_end; al_end > 0 && is_space(whole[al_end - 1]);)
            --al_end;
        al_end -= al_end > 0 && (whole[al_end - 1] == '.' || whole[al_end - 1] == ',') ? 1 : 0;
    }
    al_end -= al_end > 0 && whole[al_end - 1] == '.' ? 1 : 0;
    const bool may_end_in_it = al_end >= 2 && matches_folded(whole[al_end - 2], 'a') && matches_folded(whole[al_end - 1], 'l');
    const bool may_start_with_it = matches_folded(whole[0], 'e') && matches_folded(whole[1], 't');
    if ((!may_end_in_it && !may_start_with_it) || braced_as_a_whole(whole))
        return {};
    // "Et al., Ziminsky": Mendeley's "Last, First" of "Ziminsky et al.".
    std::size_t i = may_start_with_it ? plain_et_al_end(whole, 0) : not_found;
    if (i != not_found) {
        i = spaces_end(whole, i);
        if (i < whole.size() && whole[i] == ',') {
            i = spaces_end(whole, i + 1);
            if (reads_alone(whole.substr(i)))
                return {true, from, to, from + i, to};
        }
    }
    // "J. Grue et al.": after the person's name, and blanks, ties or a comma.
    if (!may_end_in_it)
        return {};
    for (std::size_t at = 1; at < whole.size(); ++at) {
        const char c = whole[at];
        if (!(matches_folded(c, 'e') || c == '{' || c == '\\') || !et_al_ends(whole, at))
            continue;
        std::size_t end = at;
        while (end > 0 && (is_space(whole[end - 1]) || whole[end - 1] == '~' || whole[end - 1] == ','))
            --end;
        if (end == at || !reads_alone(whole.substr(0, end)))
            return {};
        return {true, from, to, from, from + end};
    }
    return {};
}

// Whether "et al." starts at `at` in `name` among its words.
bool et_al_at(std::string_view name, std::size_t at)
{
    if (at + 1 >= name.size() || !matches_folded(name[at], 'e') || !matches_folded(name[at + 1], 't') ||
        (at > 0 && is_letter(name[at - 1])))
        return false;
    std::size_t i = at + 2;
    const bool stop = i < name.size() && name[i] == '.';
    i += stop ? 1 : 0;
    const std::size_t between = i;
    while (i < name.size() && (is_space(name[i]) || name[i] == '~'))
        ++i;
    return (stop || i > between) && name.size() - i >= 2 && equals_folded(name.substr(i, 2), "al") &&
           (i + 2 == name.size() || !is_letter(name[i + 2]));
}

}  // namespace

bool holds_et_al(std::string_view name)
{
    // 等 ends in 0x89, 人 in 0xBA: most names are ruled out by their last byte.
    const std::size_t end = spaces_end_before(name, name.size());
    if (end >= deng.size() && (name[end - 1] == '\x89' || name[end - 1] == '\xBA') &&
        deng_at_end(name.substr(0, end)) != not_found)
        return true;
    // Where `et` stands: sixteen places at a time over a long list, and
    // only there a closer look.
    for (std::size_t from = 0, at; (at = find_letter_pair(name, from, 'e', 't')) != not_found; from = at + 1)
        if (et_al_at(name, at))
            return true;
    return false;
}

namespace {

// The bounds of `name` without the spaces around it.
std::pair<std::size_t, std::size_t> trimmed(std::string_view name)
{
    const std::string_view inner = without_spaces_around(name);
    const auto from = static_cast<std::size_t>(inner.data() - name.data());
    return {from, from + inner.size()};
}

}  // namespace

std::string mended_text(std::string_view text, const judgement& made)
{
    if (made.person_from == made.person_to)
        return std::string(others_name);
    return std::string(text.substr(made.person_from, made.person_to - made.person_from))
        .append(author_separator)
        .append(others_name);
}

bool holds_glued_et_al(std::string_view last)
{
    const auto [from, to] = trimmed(last);
    return read_glued(last, from, to).found;
}

judgement judge_last(std::string_view last, std::int64_t names, std::int64_t limit, std::int64_t keep, bool noting)
{
    const et_al_reading reading = read_et_al(last);
    if (reading.match == et_al_match::others)
        return {};
    if (reading.match == et_al_match::whole && names >= 2)
        return {verdict::mend, reading.from, reading.to, 0, 0, 0};
    const auto [from, to] = trimmed(last);
    const glued_et_al glued = read_glued(last, from, to);
    if (glued.found) {
        // With "others" a name of its own, a list over the limit is cut,
        // unless "others" alone follows the names kept.
        const bool cut = names + 1 > limit && keep < names;
        return {cut ? verdict::cut : verdict::mend, glued.from, glued.to, glued.person_from, glued.person_to, 1};
    }
    if (noting && holds_et_al(last.substr(from, to - from)))
        return {verdict::keep_with_note, from, to, 0, 0, 0};
    return {};
}
