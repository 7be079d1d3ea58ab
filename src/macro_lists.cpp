#include "macro_lists.h"

#include <algorithm>
#include <cstring>

namespace {

// What BibTeX takes into a macro's name (or a number): all but blanks and
// the bytes that mark a value's parts.
bool is_name_byte(char c)
{
    return static_cast<unsigned char>(c) > ' ' && c != 0x7f && std::strchr("\"#%'(),={}", c) == nullptr;
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// A line end within a value reads as a space, as BibTeX reads it.
char as_read(char c) { return c == '\r' || c == '\n' ? ' ' : c; }

// A macro's name past this is not one a file defines.
constexpr std::size_t longest_name = 256;

}  // namespace

void name_counter::feed(char c)
{
    const char b = as_read(c);
    if (counted_.length < counted_text::edge)
        counted_.head.push_back(b);
    last_.push_back(b);
    if (last_.size() > counted_text::edge)
        last_.erase(0, 1);
    ++counted_.length;
    if (b == '{' || b == '}') {
        depth_ = b == '{' ? depth_ + 1 : depth_ - (depth_ > 0 ? 1 : 0);
        matched_ = 0;
    } else if (depth_ == 0 && completes_separator(b, matched_)) {
        ++counted_.separators;
    }
}

// A separator may cross into the macro's head; those within its head are
// among its own, which were counted with its whole text.
void name_counter::feed(const counted_text& macro)
{
    const std::int64_t before = counted_.separators;
    for (const char c : macro.head)
        feed(c);
    if (macro.tail.empty())
        return;
    const std::int64_t across = std::max<std::int64_t>(counted_.separators - before - macro.head_separators, 0);
    counted_.separators = before + across + macro.separators;
    counted_.length += macro.length - macro.head.size();
    last_ = macro.tail;
    depth_ = 0;
    matched_ = partial_separator(last_);
}

bool name_counter::ends_in_others() const
{
    std::string_view end = last_;
    while (!end.empty() && is_blank(end.back()))
        end.remove_suffix(1);
    if (end.size() < others_name.size() + author_separator.size() ||
        end.substr(end.size() - others_name.size()) != others_name)
        return false;
    end.remove_suffix(others_name.size());
    return starts_separator(end.substr(end.size() - author_separator.size()));
}

counted_text name_counter::text() const
{
    counted_text text = counted_;
    if (text.length > counted_text::edge) {
        text.tail = last_;
        name_counter head;
        for (const char c : text.head)
            head.feed(c);
        text.head_separators = head.separators();
    }
    return text;
}

bool macro_lists::starts_definition(std::string_view line)
{
    std::size_t at = skip_blanks(line, byte_order_mark_before(line));
    if (at == line.size() || line[at] != '@')
        return false;
    at = skip_blanks(line, at + 1);
    if (!equals_folded(line.substr(at, 6), "string"))
        return false;
    at = skip_blanks(line, at + 6);
    return at < line.size() && (line[at] == '{' || line[at] == '(');
}

std::size_t macro_lists::lines_before_definition(std::string_view lines)
{
    for (std::size_t at = 0; (at = lines.find('@', at)) != std::string_view::npos; ++at) {
        // Most entries are no @string: ruled out by their next letter.
        const std::size_t letter = skip_blanks(lines, at + 1);
        if (letter == lines.size() || !matches_folded(lines[letter], 's'))
            continue;
        // Its whole line, read as a line alone is (npos + 1 is 0: the first).
        const std::size_t start = lines.rfind('\n', at) + 1;
        if (starts_definition(lines.substr(start, std::min(lines.find('\n', at), lines.size()) - start)))
            return start;
    }
    return lines.size();
}

// The name and its `=` are read on the @string's own line, as every file
// seen writes them; the value may go on over lines.
std::size_t macro_lists::define(std::string_view line)
{
    std::size_t at = line.find_first_of("{(", line.find('@')) + 1;
    at = skip_blanks(line, at);
    defined_.clear();
    for (; at < line.size() && is_name_byte(line[at]) && defined_.size() < longest_name; ++at)
        defined_.push_back(folded(line[at]));
    at = skip_blanks(line, at);
    if (defined_.empty() || at == line.size() || line[at] != '=')
        return at;
    defining_ = true;
    counter_ = {};
    parts_ = 0;
    state_ = state::before_part;
    return read(line, at + 1);
}

std::size_t macro_lists::value_starts(std::string_view line, std::size_t at)
{
    defining_ = false;
    counter_ = {};
    parts_ = 0;
    first_name_.clear();
    state_ = state::before_part;
    return read(line, at);
}

std::size_t macro_lists::joined_after(std::int64_t separators, std::string_view tail, std::string_view line,
                                      std::size_t at)
{
    defining_ = false;
    counter_ = {};
    for (const char c : tail)
        counter_.feed(c);
    counter_.counted_before(separators);
    parts_ = 2;  // and more: it is joined
    first_name_.clear();
    state_ = state::after_part;
    return read(line, at);
}

std::size_t macro_lists::goes_on(std::string_view line)
{
    const std::size_t first = skip_blanks(line, 0);
    if (first < line.size() && line[first] == '@') {
        end_expression(false);
        return 0;
    }
    if (state_ == state::in_braces || state_ == state::in_quotes)
        counter_.feed('\n');
    return read(line, 0);
}

std::size_t macro_lists::read(std::string_view line, std::size_t at)
{
    for (std::size_t i = at; i < line.size(); ++i) {
        const char c = line[i];
        switch (state_) {
        case state::before_part:
        case state::after_part:
            if (is_space(c))
                break;
            if (state_ == state::after_part) {
                if (c != '#') {
                    end_expression(true);
                    return i;
                }
                state_ = state::before_part;
            } else if (c == '{' || c == '"') {
                state_ = c == '{' ? state::in_braces : state::in_quotes;
                depth_ = 0;
                ++parts_;
            } else if (is_name_byte(c)) {
                state_ = state::in_name;
                name_.assign(1, c);
                ++parts_;
            } else {
                end_expression(false);
                return i;
            }
            break;
        case state::in_name:
            if (is_name_byte(c)) {
                if (name_.size() < longest_name)
                    name_.push_back(c);
                break;
            }
            end_name();
            --i;  // what ends the name is read as what follows it
            break;
        case state::in_braces:
        case state::in_quotes:
            if (depth_ == 0 && (state_ == state::in_braces ? c == '}' : c == '"')) {
                state_ = state::after_part;
                counter_.part_ends();
                break;
            }
            if (c == '{')
                ++depth_;
            else if (c == '}' && depth_ > 0)
                --depth_;
            else if (c == '}') {  // BibTeX refuses it in a quoted value
                end_expression(false);
                return i;
            }
            counter_.feed(c);
            break;
        case state::closed:
            return i;
        }
    }
    // A line end ends a macro's name.
    if (state_ == state::in_name)
        end_name();
    return not_found;
}

// A number is its digits; a macro not yet defined is empty, as BibTeX
// reads it after a warning.
void macro_lists::end_name()
{
    state_ = state::after_part;
    if (name_[0] >= '0' && name_[0] <= '9') {
        for (const char c : name_)
            counter_.feed(c);
    } else {
        if (parts_ == 1)
            first_name_ = name_;
        std::string key;
        for (const char c : name_)
            key.push_back(folded(c));
        const auto known = macros_.find(key);
        if (known != macros_.end())
            counter_.feed(known->second);
    }
    counter_.part_ends();
}

void macro_lists::end_expression(bool whole)
{
    state_ = state::closed;
    if (defining_) {
        if (whole)
            macros_[defined_] = counter_.text();
        defining_ = false;
    } else {
        field_ended_ = whole && (parts_ > 1 || !first_name_.empty());
    }
}

std::string macro_lists::written_as() const
{
    return parts_ == 1 ? "the macro " + first_name_ : "joined with #";
}
