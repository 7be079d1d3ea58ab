#include "author_list.h"

#include "folded_search.h"

#include <algorithm>
#include <utility>

namespace {

// dblp indents each name of a list by 15 spaces or more: eight at a time.
std::size_t skip_blanks(std::string_view line, std::size_t i)
{
    constexpr std::uint64_t eight_spaces = 0x2020202020202020U;
    while (i + 8 <= line.size() && load_eight(line.data() + i) == eight_spaces)
        i += 8;
    while (i < line.size() && is_blank(line[i]))
        ++i;
    return i;
}

// What may follow a value for the field to end in the full tail: blanks, at
// most one comma and a final CR.
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

// How much of a separator the top-level text [from, end) ends in: a line
// end, read as a space, may complete it.
std::size_t partial_separator(std::string_view line, std::size_t from, std::size_t end)
{
    for (std::size_t length = author_separator.size() - 1; length > 0; --length)
        if (end - from >= length && equals_folded(line.substr(end - length, length), author_separator.substr(0, length)))
            return length;
    return 0;
}

// What BibTeX takes as part of a field's name: all but blanks and the bytes
// that end one.
bool is_field_name_byte(char c)
{
    return !is_blank(c) && std::string_view("\"#%'(),={}\r\n").find(c) == std::string_view::npos;
}

// The name of the field whose value opens at `open`, as written: the whole
// word before the `=`.
std::string_view field_name_before(std::string_view line, std::size_t open)
{
    std::size_t end = line.rfind('=', open);
    while (end > 0 && is_blank(line[end - 1]))
        --end;
    std::size_t start = end;
    while (start > 0 && is_field_name_byte(line[start - 1]))
        --start;
    return line.substr(start, end - start);
}

std::string_view trim_blanks(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The key of an entry starting at `at`: from the first `{` or `(` to the
// next comma, blanks trimmed, or "?".
std::string_view entry_key(std::string_view line, std::size_t at)
{
    std::size_t open = at;
    while (open < line.size() && line[open] != '{' && line[open] != '(')
        ++open;
    open = open < line.size() ? open : not_found;
    const std::size_t comma = open == not_found ? not_found : line.find(',', open);
    const std::string_view key = comma == not_found ? std::string_view() : trim_blanks(line.substr(open + 1, comma - open - 1));
    return key.empty() ? "?" : key;
}

// BibTeX's own word for the names left out, which styles print as "et al.".
constexpr std::string_view others_name = "others";

}  // namespace

list_filter::list_filter(list_rule rule, cut_notes notes)
    : author_limit_(rule.author_limit),
      keep_(rule.keep >= 1 && rule.keep <= rule.author_limit ? rule.keep : rule.author_limit),
      noting_(notes != cut_notes::none),
      writing_(notes != cut_notes::alone),
      count_to_(noting_ ? INT64_MAX : rule.author_limit)
{
    for (std::string& name : rule.fields) {
        if (name.empty())
            continue;
        for (char& c : name)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + ('a' - 'A'));
        const std::size_t last = std::min<std::size_t>(name.size(), 8);
        const folded_pattern pattern = fold_pattern(std::string_view(name).substr(name.size() - last));
        fields_.push_back({std::move(name), pattern});
    }
}

void list_filter::note_entry(std::string_view line, std::size_t at) { key_ = entry_key(line, at); }

std::size_t list_filter::pass_lines(std::string_view lines)
{
    if (in_value_)
        return 0;
    std::size_t passed = lines.size();
    for (std::size_t from = 0, equals; (equals = find_first(lines, '=', 0, from, lines.size())) != not_found;
         from = equals + 1) {
        if (value_after(lines, equals) != not_found) {
            const std::size_t line_feed = lines.rfind('\n', equals);
            passed = line_feed == std::string_view::npos ? 0 : line_feed + 1;
            break;
        }
    }
    if (noting_)
        note_passed(lines.substr(0, passed));
    return passed;
}

// What note_line would have made of each line of `lines`: the count, and the
// entry that the last of them belongs to.
void list_filter::note_passed(std::string_view lines)
{
    const std::size_t first = line_number_ == 0 ? byte_order_mark_before(lines) : 0;
    line_number_ += count_byte(lines, '\n');
    for (std::size_t at = lines.size(); at > 0 && (at = lines.rfind('@', at - 1)) != std::string_view::npos;) {
        std::size_t start = at;
        while (start > first && is_blank(lines[start - 1]))
            --start;
        if (start == first || lines[start - 1] == '\n') {
            const std::size_t end = lines.find('\n', at);
            note_entry(lines.substr(start, end - start), at - start);
            return;
        }
    }
}

void list_filter::start_value(std::string_view line, std::size_t open)
{
    if (noting_) {
        value_.line = line_number_;
        value_.key = key_.empty() ? "?" : key_;
        value_.field = field_name_before(line, open);
    }
    in_value_ = true;
    delimiter_ = line[open];
    nested_ = 0;
    separators_ = 0;
    matched_ = 0;
    copying_ = false;
}

// Feeds one byte of the value's top level to the separator match; true when
// it completes a separator. A failed match can only restart at a space,
// since no other byte of the separator is a space.
bool list_filter::completes_separator(char c)
{
    if (matches_folded(c, author_separator[matched_])) {
        if (++matched_ < author_separator.size())
            return false;
        matched_ = 0;  // separators never overlap
        return true;
    }
    matched_ = c == ' ' ? 1 : 0;
    return false;
}

// Separators are counted at the top level until the limit's last (all of
// them when noting cuts): never when the limit is below 1, nor in a value
// too long to hold.
bool list_filter::counting_separators() const
{
    return nested_ == 0 && separators_ < count_to_ && !copying_;
}

// Counts a separator that ends just before `after`: the `keep`-th sets the
// cut there. True when it is the last to count, so that counting stops.
bool list_filter::note_separator(std::size_t after, std::size_t& cut)
{
    if (++separators_ == keep_)
        cut = after;
    return separators_ >= count_to_;
}

// Counts the separators in the top-level text [from, end) of `line`, which
// holds no brace or quote. Returns the cut if it is among them, else
// not_found.
std::size_t list_filter::count_separators(std::string_view line, std::size_t from, std::size_t end,
                                          bool line_ends)
{
    std::size_t cut = not_found;
    // A separator begun before `from`, on the line before, ends byte by byte.
    for (; matched_ != 0 && from < end; ++from)
        if (completes_separator(line[from]) && note_separator(from + 1, cut))
            return cut;
    // Anchored on the "d": rarer in names than the spaces.
    for (std::size_t at; (at = find_folded<author_separator, 3>(line, from, end)) != not_found;) {
        from = at + author_separator.size();
        if (note_separator(from, cut))
            return cut;
    }
    if (line_ends && matched_ == 0)
        matched_ = partial_separator(line, from, end);
    return cut;
}

// Goes through the value on `line` from `at`: counts separators, notes the
// cut in `cut_here` if it falls on this line, and leaves `at` where the
// value ends. Only braces and quotes change where the value stands: it jumps
// from one to the next, and searches for separators between them.
list_filter::value_end list_filter::scan_value(std::string_view line, std::size_t& at, std::size_t& cut_here)
{
    // A final CR belongs to the line end, which reads as a space; a value
    // that closes on the line closes before it.
    const std::size_t end = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
    const bool quoted = delimiter_ == '"';
    const auto find_byte = [line, end](char c, std::size_t from) {
        return std::min(find_first(line, static_cast<unsigned char>(c), 0, from, end), end);
    };
    std::size_t next_open = find_byte('{', at);
    std::size_t next_close = find_byte('}', at);
    std::size_t next_quote = quoted ? find_byte('"', at) : end;
    for (std::size_t i = at;;) {
        at = std::min({next_open, next_close, next_quote});
        if (counting_separators()) {
            const std::size_t cut = count_separators(line, i, at, at == end);
            if (cut != not_found)
                cut_here = cut;
        }
        if (at == end)
            return value_end::line_end;
        const char c = line[at];
        i = at + 1;
        matched_ = 0;
        if (c == '{') {
            ++nested_;
            next_open = find_byte('{', i);
        } else if (c == '}' && nested_ > 0) {
            --nested_;
            next_close = find_byte('}', i);
        } else if (c == '}' && quoted) {
            return value_end::malformed;  // a stray `}`: BibTeX rejects the value
        } else if (c == '"' && nested_ > 0) {
            next_quote = find_byte('"', i);  // a quote in braces is text
        } else {
            return value_end::closed;
        }
    }
}

// Moves the held lines, unchanged, to what is written next.
void list_filter::release_held()
{
    if (held_.empty())
        return;
    out_.append(held_);
    held_.clear();
}

// Holds the line, as written so far, while its value stays open past the
// cut; false when it does not fit within the bound, and the value is then
// copied on as it is.
bool list_filter::hold_line(std::string_view line, std::size_t cut_here)
{
    const std::string_view rest = line.substr(copied_from_);
    if (held_.size() + edited_.size() + rest.size() + 1 > held_lines_limit) {
        release_held();
        copying_ = true;
        return false;
    }
    if (cut_here != not_found)
        cut_ = held_.size() + edited_.size() + (cut_here - copied_from_);
    if (!edited_.empty())
        held_.append(edited_);
    held_.append(rest).push_back('\n');
    return true;
}

// Whether the value, closing at `close`, holds nothing after its cut but
// "others": it reads as a cut list already, and cutting it again would only
// respace it.
bool list_filter::only_others_after_cut(std::string_view line, std::size_t close, std::size_t cut_here) const
{
    const auto is_space = [](char c) { return is_blank(c) || c == '\r' || c == '\n'; };
    std::string held_rest;
    std::string_view rest = line.substr(0, close);
    if (cut_here != not_found) {
        rest.remove_prefix(cut_here);
    } else {
        held_rest.assign(held_, cut_).append(rest);
        rest = held_rest;
    }
    while (!rest.empty() && is_space(rest.front()))
        rest.remove_prefix(1);
    while (!rest.empty() && is_space(rest.back()))
        rest.remove_suffix(1);
    return rest == others_name;
}

// Writes the value closing at `close` cut, after what the line has written
// so far; true when nothing more of the line is to be searched.
bool list_filter::write_cut(std::string_view line, std::size_t close, std::size_t cut_here)
{
    // A cut on an earlier line: the value opened there, so nothing of this
    // line has been written yet.
    if (cut_here != not_found)
        edited_.append(line.substr(copied_from_, cut_here - copied_from_));
    else
        edited_.assign(held_, 0, cut_);
    held_.clear();
    const std::string_view tail = delimiter_ == '"' ? quoted_others_tail : others_tail;
    if (only_field_end(line.substr(close + 1))) {
        edited_.append(tail);
        copied_from_ = line.size();
        return true;
    }
    edited_.append(tail.substr(0, tail.size() - 1));
    copied_from_ = close + 1;
    return false;
}

// The line of a value, open before it (in_value_) or from `open` on.
line_output list_filter::judge_line(std::string_view line, std::size_t open)
{
    out_.clear();
    edited_.clear();
    copied_from_ = 0;
    std::size_t at = 0;
    std::size_t cut_here = not_found;  // the cut, when it falls on this line
    if (in_value_) {
        at = skip_blanks(line, 0);
        if (at < line.size() && line[at] == '@') {
            // A line that starts an entry: the value never closed. Its lines
            // go out as they were, and the entry is judged afresh.
            release_held();
            in_value_ = false;
            open = find_value(line, 0);
        } else if (counting_separators() && completes_separator(' ')) {
            // The line end and the blanks that begin this line read as one
            // space, which may complete a separator; a cut right after it
            // falls after the blanks.
            note_separator(at, cut_here);
        }
    }

    for (;;) {
        if (!in_value_) {
            if (open == not_found)
                break;
            start_value(line, open);
            at = open + 1;
        }
        const value_end end = scan_value(line, at, cut_here);
        if (end == value_end::line_end) {
            if ((!held_.empty() || cut_here != not_found) && hold_line(line, cut_here))
                return {out_, false};
            break;  // before the cut, the line is final as it is
        }
        in_value_ = false;
        if (end == value_end::malformed) {
            release_held();
            break;
        }
        const std::string_view rest = line.substr(at + 1);
        const std::size_t after = skip_blanks(rest, 0);
        const bool concatenated = after < rest.size() && rest[after] == '#';
        const bool cut = (!held_.empty() || cut_here != not_found) && separators_ >= author_limit_ &&
                         !only_others_after_cut(line, at, cut_here);
        if (!cut || concatenated) {
            release_held();
            if (concatenated)
                break;  // its other parts may hold names, and this line's rest with them
        } else {
            ++lists_cut_;
            if (noting_) {
                value_.names = separators_ + 1;
                cuts_.push_back(std::move(value_));  // made anew for the next value
            }
            if (!writing_)
                held_.clear();
            else if (write_cut(line, at, cut_here))
                break;
        }
        cut_here = not_found;
        open = find_value(line, at + 1);
    }

    if (edited_.empty() && copied_from_ == 0)
        return {out_, true};
    out_.append(edited_).append(line.substr(copied_from_)).push_back('\n');
    return {out_, false};
}

std::string_view list_filter::end_of_input()
{
    out_.clear();
    release_held();
    in_value_ = false;
    return out_;
}

std::string rewrite_author_line(const std::string& line, std::int32_t author_limit)
{
    list_filter filter(list_rule{author_limit});
    const line_output result = filter.next_line(line);
    if (result.write_line)
        return line;
    std::string text(result.before);
    text.append(filter.end_of_input());
    text.pop_back();  // the line feed
    return text;
}
