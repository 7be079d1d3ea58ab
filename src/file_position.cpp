#include "file_position.h"

#include "vector_search.h"

#include <algorithm>
#include <utility>

namespace {

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

}  // namespace

void file_position::begin_piece(std::string_view lines)
{
    piece_ = lines;
    piece_starts_input_ = line_number_ == 0;
    counted_to_ = lines.data();
    keyed_to_ = lines.data();
}

void file_position::end_piece(bool value_open)
{
    if (piece_.data() == nullptr)
        return;
    // What the memory of the piece is still needed for, kept; the place of
    // a value that closed in it is needed no more, and goes with it.
    if (value_open)
        place_value();
    else
        value_line_ = {};
    const char* const end = piece_.data() + piece_.size();
    number_of(end);
    find_entry_before(end);
    piece_ = {};
}

// Counts the line, and notes the key of an entry that starts on it.
void file_position::note_line(std::string_view line)
{
    std::size_t at = ++line_number_ == 1 ? byte_order_mark_before(line) : 0;
    while (at < line.size() && is_blank(line[at]))
        ++at;
    if (at < line.size() && line[at] == '@')
        key_ = entry_key(line, at);
}

// The number of the line of the piece that starts at `line`: the lines
// before it counted, from where they were counted to.
std::uint64_t file_position::number_of(const char* line)
{
    line_number_ += count_byte(std::string_view(counted_to_, static_cast<std::size_t>(line - counted_to_)), '\n');
    counted_to_ = line;
    return line_number_ + 1;
}

// Makes `key_` that of the last entry that starts in the piece before
// `line`, if one does.
void file_position::find_entry_before(const char* line)
{
    const std::string_view lines(keyed_to_, static_cast<std::size_t>(line - keyed_to_));
    const std::size_t first = piece_starts_input_ && keyed_to_ == piece_.data() ? byte_order_mark_before(lines) : 0;
    keyed_to_ = line;
    for (std::size_t end = lines.size(), at; (at = find_last(lines, '@', 0, end)) != not_found; end = at) {
        std::size_t start = at;
        while (start > first && is_blank(lines[start - 1]))
            --start;
        if (start == first || lines[start - 1] == '\n') {
            const std::size_t line_end = std::min(lines.find('\n', at), lines.size());
            key_ = entry_key(lines.substr(start, line_end - start), at - start);
            return;
        }
    }
}

// The open value's line number and key, where they are yet to be found in
// the piece: its entry may start on its own line.
void file_position::place_value()
{
    if (value_line_.data() == nullptr)
        return;
    value_.line = number_of(value_line_.data());
    find_entry_before(value_line_.data() + value_line_.size() + 1);
    value_.key = key_.empty() ? "?" : key_;
    value_.field = field_name_before(value_line_, value_open_);
    value_line_ = {};
}

void file_position::value_opens(std::string_view line, std::size_t open)
{
    // Within a piece, the line, the key and the field's name are found only
    // if the list is noted.
    value_line_ = piece_.data() != nullptr ? line_ : std::string_view();
    value_open_ = open;
    if (value_line_.data() == nullptr) {
        value_.line = line_number_;
        value_.key = key_.empty() ? "?" : key_;
        value_.field = field_name_before(line, open);
    }
    value_.et_al.clear();
    value_.now.clear();
    value_.built.clear();
}

void file_position::note(std::vector<list_cut>& cuts, std::int64_t names)
{
    place_value();
    value_.names = names;
    cuts.push_back(std::move(value_));  // made anew for the next value
}

void file_position::left_long(std::vector<list_cut>& cuts, std::int64_t names, std::string built)
{
    value_.built = std::move(built);
    note(cuts, names);
}

void file_position::note_name(std::vector<list_cut>& cuts, std::string_view name, std::int64_t names)
{
    place_value();
    list_cut noted = value_;
    noted.names = names;
    noted.et_al = name;
    noted.now.clear();
    cuts.push_back(std::move(noted));
}
