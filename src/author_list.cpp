#include "author_list.h"

#include "folded_search.h"

#include <algorithm>
#include <cstring>
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

// A blank, or a line end: between the names of a value, all read as a space.
constexpr bool is_space(char c) { return is_blank(c) || c == '\r' || c == '\n'; }

// How a name, with the spaces around it, reads against "et al." written as
// a name, which styles print as a person where they print "et al." only for
// `others`. `partial`: it may still be, should more text follow.
enum class et_al_match { blank, no, partial, whole, others };

struct et_al_reading {
    et_al_match match = et_al_match::no;
    std::size_t from = 0;  // when whole: the name's bytes, without the spaces around it
    std::size_t to = 0;
};

// The spellings, in any letter case: a letter matches itself, `.` is an
// optional full stop, `~` one or more spaces or ties, `_` any spaces.
constexpr std::string_view et_al_spellings[] = {"et.~al.", "al._,_et.", "others"};

// Reads `text` as a name that may be "et al." written as a name: one of the
// spellings, within one pair of braces or none, and `others` itself only
// when braced or in another letter case.
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
    std::vector<std::string_view> names;
    for (const field_name& field : fields_)
        names.emplace_back(field.lower);
    field_search_ = word_ends_search(names);
}

void list_filter::note_entry(std::string_view line, std::size_t at) { key_ = entry_key(line, at); }

// Position of the `{` or `"` that opens the first listed value in `lines`,
// or not_found. Every line in a file has an `=` or two, and few a listed
// field's name: the names themselves are sought, and then the `=` after one.
std::size_t list_filter::find_value_in_run(std::string_view lines) const
{
    for (std::size_t at = 0; (at = field_search_.find(lines, at, lines.size())) != not_found; ++at) {
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
                const std::size_t open = value_opening_after(lines, equals);
                if (open != not_found)
                    return open;
            }
        }
    }
    return not_found;
}

std::size_t list_filter::pass_lines(std::string_view lines)
{
    if (in_value_)
        return 0;
    const std::size_t open = find_value_in_run(lines);
    if (open == not_found)
        return lines.size();
    const std::size_t line_feed = find_last(lines, '\n', 0, open);
    const std::size_t passed = line_feed == not_found ? 0 : line_feed + 1;
    // The line handed over next: where its value opens is known.
    opening_line_ = lines.data() + passed;
    opening_ = open - passed;
    return passed;
}

void list_filter::begin_piece(std::string_view lines)
{
    opening_line_ = nullptr;
    if (!noting_)
        return;
    piece_ = lines;
    piece_starts_input_ = line_number_ == 0;
    counted_to_ = lines.data();
    keyed_to_ = lines.data();
}

void list_filter::end_piece()
{
    opening_line_ = nullptr;
    if (piece_.data() == nullptr)
        return;
    // What the memory of the piece is still needed for, kept.
    if (in_value_)
        place_value();
    const char* const end = piece_.data() + piece_.size();
    number_of(end);
    find_entry_before(end);
    piece_ = {};
}

// The number of the line of the piece that starts at `line`: the lines
// before it counted, from where they were counted to.
std::uint64_t list_filter::number_of(const char* line)
{
    line_number_ += count_byte(std::string_view(counted_to_, static_cast<std::size_t>(line - counted_to_)), '\n');
    counted_to_ = line;
    return line_number_ + 1;
}

// Makes `key_` that of the last entry that starts in the piece before
// `line`, if one does: a line whose first byte, after blanks (and a byte
// order mark before the input's first line), is `@`.
void list_filter::find_entry_before(const char* line)
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
            note_entry(lines.substr(start, line_end - start), at - start);
            return;
        }
    }
}

// The open value's line number and key, where they are yet to be found in
// the piece: its entry may start on its own line.
void list_filter::place_value()
{
    if (value_line_.data() == nullptr)
        return;
    value_.line = number_of(value_line_.data());
    find_entry_before(value_line_.data() + value_line_.size() + 1);
    value_.key = key_.empty() ? "?" : key_;
    value_.field = field_name_before(value_line_, value_open_);
    value_line_ = {};
}

void list_filter::start_value(std::string_view line, std::size_t open)
{
    if (noting_) {
        // Within a piece, the line, the key and the field's name are found
        // only if the list is noted.
        value_line_ = piece_.data() != nullptr ? line_ : std::string_view();
        value_open_ = open;
        if (value_line_.data() == nullptr) {
            value_.line = line_number_;
            value_.key = key_.empty() ? "?" : key_;
            value_.field = field_name_before(line, open);
        }
        value_.et_al.clear();
    }
    in_value_ = true;
    delimiter_ = line[open];
    nested_ = 0;
    separators_ = 0;
    matched_ = 0;
    copying_ = false;
    name_from_ = not_found;
    name_held_at_ = not_found;
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
    name_from_ = after;
    name_held_at_ = not_found;
    if (++separators_ == keep_)
        cut = after;
    return separators_ >= count_to_;
}

// The held lines from `from` on, then `rest` of this line, as one text in
// `joined`: a name, or the names after a cut, that began on a held line.
std::string_view list_filter::held_then(std::size_t from, std::string_view rest, std::string& joined) const
{
    return joined.assign(held_, from).append(rest);
}

// The last name is followed while every separator is counted: the list is
// then not over the count, and that name alone may need mending. A count
// below 1 changes nothing.
bool list_filter::following_last_name() const { return separators_ < count_to_ && !copying_ && author_limit_ >= 1; }

// At the end of a line inside a value: whether its last name so far may yet
// be "et al." written as a name, so that its lines wait for the close. One
// that cannot be is not followed further.
bool list_filter::last_name_may_be_et_al(std::string_view line)
{
    if (!following_last_name() || (name_from_ == not_found && name_held_at_ == not_found))
        return false;
    std::string joined;
    const std::string_view name = name_from_ != not_found ? line.substr(name_from_) : held_then(name_held_at_, line, joined);
    const et_al_match match = read_et_al(name).match;
    if (match == et_al_match::blank)
        return false;  // it starts on a later line, if at all
    if (match == et_al_match::partial || match == et_al_match::whole)
        return true;
    name_from_ = not_found;
    name_held_at_ = not_found;
    return false;
}

// Goes through the value on `line` from `at`: counts separators, notes the
// cut in `cut_here` if it falls on this line, and leaves `at` where the
// value ends. What changes where the value stands are its braces and, in a
// quoted value, its quotes; a separator counts only at its top level, and
// separators never overlap. Sixteen bytes at a time where there are
// vectors: all braces, quotes and separators of a block are found at once.
list_filter::value_end list_filter::scan_value(std::string_view line, std::size_t& at, std::size_t& cut_here)
{
    // A final CR belongs to the line end, which reads as a space; a value
    // that closes on the line closes before it.
    const std::size_t end = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
    const bool quoted = delimiter_ == '"';
    std::size_t i = at;  // where the next separator may start
    // A separator begun on the line before ends byte by byte.
    if (counting_separators()) {
        while (matched_ != 0 && i < end && line[i] != '{' && line[i] != '}' && !(quoted && line[i] == '"')) {
            ++i;
            if (completes_separator(line[i - 1]))
                note_separator(i, cut_here);
        }
    }
    // What a brace or quote at `p` does; true when the value ends there.
    value_end ends = value_end::line_end;
    const auto meet = [&](std::size_t p) {
        i = p + 1;
        matched_ = 0;
        const char c = line[p];
        if (c == '{')
            ++nested_;
        else if (c == '}' && nested_ > 0)
            --nested_;
        else if (c == '}' && quoted)
            ends = value_end::malformed;  // a stray `}`: BibTeX rejects the value
        else if (!(c == '"' && nested_ > 0))  // a quote in braces is text
            ends = value_end::closed;
        if (ends == value_end::line_end)
            return false;
        at = p;
        return true;
    };
    const auto is_separator_at = [&](std::size_t p) {
        return p >= i && counting_separators() && p + author_separator.size() <= end &&
               equals_folded(line.substr(p, author_separator.size()), author_separator);
    };
    std::size_t p = i;
#if defined(ETAL_VECTORS)
    static const vectors::folded_word<author_separator> separator;
    constexpr std::size_t reach = author_separator.size() - 1;  // read past a block
    const vectors::bytes opening = vectors::splat('{');
    const vectors::bytes closing = vectors::splat('}');
    // In a braced value a quote is text: the opening brace, sought already,
    // stands in for it.
    const vectors::bytes quote = vectors::splat(quoted ? '"' : '{');
    // The block of sixteen bytes from `b`, whose bytes, and `reach` more,
    // are at `bytes`; true when the value ends in it.
    const auto go_through = [&](const char* bytes, std::size_t b) {
        const vectors::bytes block = vectors::load(bytes);
        vectors::lanes met = vectors::lanes_of(vectors::either(
            vectors::either(vectors::same(block, opening), vectors::same(block, closing)), vectors::same(block, quote)));
        met &= vectors::first_lanes(end - b);
        vectors::lanes starts = 0;
        if (separators_ < count_to_ && !copying_ && end - b > reach)
            starts = separator.starts(bytes) & vectors::first_lanes(end - b - reach) &
                     ~vectors::first_lanes(std::max(i, b) - b);
        // Most blocks of a long list: separators, at its top level, none
        // overlapping, none the cut nor the last counted: counted at once.
        if (met == 0 && starts != 0 && nested_ == 0 && (starts & (starts >> (4 * vectors::lane_bits))) == 0) {
            const auto counted = static_cast<std::int64_t>(vectors::count_lanes(starts));
            if (separators_ + counted < count_to_ && !(separators_ < keep_ && separators_ + counted >= keep_)) {
                separators_ += counted;
                i = b + static_cast<std::size_t>(63 - __builtin_clzll(starts)) / vectors::lane_bits + reach + 1;
                name_from_ = i;
                name_held_at_ = not_found;
                return false;
            }
        }
        for (met |= starts; met != 0; met = vectors::drop_first_lane(met)) {
            const std::size_t q = b + vectors::first_lane(met);
            if (line[q] != ' ') {
                if (meet(q))
                    return true;
            } else if (q >= i && counting_separators()) {
                i = q + author_separator.size();
                note_separator(i, cut_here);
            }
        }
        return false;
    };
    for (; p < end && p + 16 + reach <= line.size(); p += 16)
        if (go_through(line.data() + p, p))
            return ends;
    if (p < end) {
        // The last bytes of the line, in blocks of their own, with NULs past
        // them: a NUL matches nothing sought.
        char rest[std::size_t{2} * 16 + reach] = {};
        std::memcpy(rest, line.data() + p, line.size() - p);
        for (std::size_t r = 0; p + r < end; r += 16)
            if (go_through(rest + r, p + r))
                return ends;
        p = end;
    }
#endif
    for (p = std::max(p, i); p < end; ++p) {
        const char c = line[p];
        if (c == '{' || c == '}' || (quoted && c == '"')) {
            if (meet(p))
                return ends;
        } else if (c == ' ' && is_separator_at(p)) {
            i = p + author_separator.size();
            note_separator(i, cut_here);
            p = i - 1;
        }
    }
    at = end;
    if (counting_separators() && matched_ == 0)
        matched_ = partial_separator(line, i, end);
    return value_end::line_end;
}

// Moves the held lines, unchanged, to what is written next.
void list_filter::release_held()
{
    out_.append(held_);
    forget_held();
}

// Places in the held lines go with them.
void list_filter::forget_held()
{
    held_.clear();
    cut_ = not_found;
    name_held_at_ = not_found;
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

// What becomes of the value closing at `close`: left whole, cut, or mended,
// its last name [from, to) (in the held lines, then this line, as one text)
// becoming "others". Notes the name when noting.
list_filter::verdict list_filter::judge_value(std::string_view line, std::size_t close, std::size_t cut_here,
                                              std::size_t& from, std::size_t& to)
{
    // Over the count, the names after the cut; else the last name alone.
    const bool over = (cut_ != not_found || cut_here != not_found) && separators_ >= author_limit_;
    bool held = cut_here == not_found;
    std::size_t start = held ? cut_ : cut_here;
    if (!over) {
        if (!following_last_name() || separators_ == 0 || (name_from_ == not_found && name_held_at_ == not_found))
            return verdict::keep;
        held = name_from_ == not_found;
        start = held ? name_held_at_ : name_from_;
    }
    std::string joined;
    const std::string_view text = held ? held_then(start, line.substr(0, close), joined) : line.substr(start, close - start);
    const et_al_reading reading = read_et_al(text);
    if (reading.match != et_al_match::whole)
        // Names after the cut that are "others" alone already read as a cut list.
        return over && reading.match != et_al_match::others ? verdict::cut : verdict::keep;
    if (noting_)
        value_.et_al = text.substr(reading.from, reading.to - reading.from);
    const std::size_t offset = held ? start : held_.size() + start;
    from = offset + reading.from;
    to = offset + reading.to;
    return verdict::mend;
}

// Writes the value closing at `close` cut, after what the line has written
// so far; true when nothing more of the line is to be searched.
bool list_filter::write_cut(std::string_view line, std::size_t close, std::size_t cut_here)
{
    if (cut_here != not_found) {
        release_held();
        edited_.append(line.substr(copied_from_, cut_here - copied_from_));
    } else {
        // A cut on an earlier line: the value opened there, so nothing of
        // this line has been written yet.
        edited_.assign(held_, 0, cut_);
        forget_held();
    }
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

// Writes "others" for the bytes [from, to) of the held lines and this line,
// taken as one text; all else stays as it was.
void list_filter::write_mend(std::string_view line, std::size_t from, std::size_t to)
{
    const std::size_t held = held_.size();
    if (from >= held) {
        release_held();
        edited_.append(line.substr(copied_from_, from - held - copied_from_)).append(others_name);
        copied_from_ = to - held;
        return;
    }
    // As for a cut, nothing of this line has been written yet.
    edited_.assign(held_, 0, from).append(others_name);
    if (to <= held)
        edited_.append(held_, to);
    copied_from_ = to <= held ? 0 : to - held;
    forget_held();
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
        if (name_from_ != not_found)
            name_from_ = 0;  // nothing but blanks since the separator
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
            const bool cut_waits = cut_ != not_found || cut_here != not_found;
            if (last_name_may_be_et_al(line) && name_from_ != not_found) {
                if (!cut_waits)
                    release_held();  // lines before the name's own need not wait for it
                name_held_at_ = held_.size() + edited_.size() + (name_from_ - copied_from_);
                name_from_ = not_found;
            }
            if ((cut_waits || name_held_at_ != not_found) && hold_line(line, cut_here))
                return {out_, false};
            release_held();
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
        std::size_t from = 0;
        std::size_t to = 0;
        const verdict made = concatenated ? verdict::keep : judge_value(line, at, cut_here, from, to);
        if (made == verdict::keep) {
            release_held();
            if (concatenated)
                break;  // its other parts may hold names, and this line's rest with them
        } else {
            ++(made == verdict::cut ? lists_cut_ : lists_mended_);
            if (noting_) {
                place_value();
                value_.names = separators_ + 1;
                cuts_.push_back(std::move(value_));  // made anew for the next value
            }
            if (!writing_)
                forget_held();
            else if (made == verdict::mend)
                write_mend(line, from, to);
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

std::string on_one_line(std::string_view name)
{
    std::string said;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t end = i;
        while (end < name.size() && is_space(name[end]))
            ++end;
        const std::string_view spaces = name.substr(i, end - i);
        if (spaces.find_first_of("\r\n") != std::string_view::npos)
            said += ' ';
        else
            said.append(spaces);
        if (end < name.size())
            said += name[end++];
        i = end;
    }
    return said;
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
