#include "author_list.h"

#include <algorithm>

list_filter::list_filter(const list_rule& rule, cut_notes notes)
    : author_limit_(rule.author_limit),
      keep_(rule.keep >= 1 && rule.keep <= rule.author_limit ? rule.keep : rule.author_limit),
      noting_(notes != cut_notes::none),
      writing_(notes != cut_notes::alone),
      openings_(rule.fields, noting_),
      // Noting, every name is counted, to tell how many a list had.
      reader_(noting_ ? INT64_MAX : rule.author_limit, keep_)
{
}

// At the end of a line inside a value: whether its last name so far may
// yet make a mend, so that its lines wait for the close. Any name may: "et
// al." may follow it on the next line.
bool list_filter::last_name_may_change(std::string_view line)
{
    const std::size_t on_line = reader_.last_name_on_line();
    if (!following_last_name())
        return false;
    if (reader_.separator_at_line_end()) {
        held_.forget_name();  // the line end ends it: another name follows
        return false;
    }
    if (on_line == not_found)
        return held_.holds_name();  // held since it began, not blank
    for (std::size_t i = on_line; i < line.size(); ++i)
        if (!is_space(line[i]))
            return true;
    return false;  // it starts on a later line, if at all
}

// The verdict on the value closing at `close`; for a mend, the bytes
// [from, to) that change, in the held lines, then this line, as one text;
// the name mended or noted, noted when noting.
judgement list_filter::judge_value(std::string_view line, std::size_t close, std::size_t cut_here)
{
    // Over the count, the names after the cut; else the last name alone. A
    // count below 1 changes nothing.
    const bool over = (held_.holds_cut() || cut_here != not_found) && reader_.separators() >= author_limit_;
    const std::size_t on_line = reader_.last_name_on_line();
    const bool last_known = following_last_name() && (on_line != not_found || held_.holds_name());
    if (!over && !last_known)
        return {};
    const bool held = over ? cut_here == not_found : on_line == not_found;
    const std::size_t start = over ? (held ? held_.cut() : cut_here) : (held ? held_.name_at() : on_line);
    std::string joined;
    const std::string_view names =
        held ? held_.then(start, line.substr(0, close), joined) : line.substr(start, close - start);
    // Where `names` starts in the held lines and this line, taken as one text.
    const std::size_t offset = held ? start : held_.size() + start;
    const std::int64_t count = reader_.separators() + 1;
    judgement made = over ? judge_over(names) : judge_last(names, count, author_limit_, keep_, noting_);
    if (over && made.made == verdict::cut && noting_ && last_known) {
        // Told of with "others" as a name of its own, as it would be mended.
        // The last name ends the names after the cut.
        const std::size_t last = on_line == not_found ? held_.name_at() : held_.size() + on_line;
        made.names_added = holds_glued_et_al(names.substr(last - offset)) ? 1 : 0;
    }
    if (made.made != verdict::mend && made.made != verdict::keep_with_note)
        return made;
    if (made.made == verdict::mend)
        mend_text_ = mended_text(names, made);
    if (noting_)
        position_.mended(names.substr(made.from, made.to - made.from), made.made == verdict::mend ? mend_text_ : "");
    made.from += offset;
    made.to += offset;
    return made;
}

namespace {

// Longer than any name: the last name so far is quoted up to it.
constexpr std::size_t longest_name_quoted = 4096;

}  // namespace

// Noting: the names of the value's stretch [from, to) of `line`, read from
// `depth` braces in after `before` separators, that hold "et al." and are
// followed by another; the first joins the last name so far when the line
// `continues` the value. Most stretches hold no "et al." at all, and only a
// name begun on an earlier line is looked at there.
void list_filter::seek_middle_names(std::string_view line, std::size_t from, std::size_t to, std::size_t depth,
                                    std::int64_t before, bool continues, bool line_end_after)
{
    const std::string_view stretch = line.substr(from, to - from);
    const bool holds = holds_et_al(stretch);
    const bool joins = continues && !name_so_far_.empty();
    if (holds || joins) {
        std::int64_t index = before;
        std::string joined;
        for_each_name(stretch, depth, continues, line_end_after, [&](std::size_t start, std::size_t end, bool ends) {
            std::string_view name = stretch.substr(start, end - start);
            if (index == before && joins)
                name = joined.assign(name_so_far_).append("\n").append(name);  // its line end reads as a space
            if (ends && holds_et_al(name))
                middle_names_.push_back({std::string(without_spaces_around(name)), index});
            index += ends ? 1 : 0;
            return holds;
        });
    }
    // The last name so far, for the lines that follow.
    if (!line_end_after || reader_.separator_at_line_end()) {
        name_so_far_.clear();
    } else if (reader_.separators() > before) {
        const std::size_t name = reader_.last_name_on_line();
        name_so_far_.assign(line, name, std::min(to - name, longest_name_quoted));
    } else if (name_so_far_.size() < longest_name_quoted) {
        if (!continues)
            name_so_far_.clear();
        else if (!name_so_far_.empty())
            name_so_far_.push_back('\n');
        name_so_far_.append(stretch.substr(0, longest_name_quoted));
    }
}

// At the value's close, with `names` in all: a note of each name before the
// last that holds "et al." and stays, being among the names a cut keeps.
void list_filter::note_middle_names(const judgement& made, std::int64_t names)
{
    for (const middle_name& each : middle_names_)
        if (made.made != verdict::cut || each.index < keep_)
            position_.note_name(cuts_, each.name, names);
    middle_names_.clear();
}

// The line of a value, open before it or from `open` on.
line_output list_filter::judge_line(std::string_view line, std::size_t open)
{
    held_.begin_line();
    std::size_t at = 0;
    std::size_t cut_here = not_found;  // the cut, when it falls on this line
    std::int64_t counted = reader_.separators();
    bool line_end_before = false;  // a blank before what is read first, which may start a separator
    std::size_t value_from = 0;    // where the value starts on the line
    if (reader_.open()) {
        at = skip_blanks(line, 0);
        if (at < line.size() && line[at] == '@') {
            // A line that starts an entry: the value never closed. Its lines
            // go out as they were, and the entry is judged afresh.
            held_.release();
            reader_.close();
            open = openings_.find(line, 0);
        } else {
            reader_.goes_on(at, cut_here);
            line_end_before = reader_.separators() == counted;
        }
    }

    for (;;) {
        if (!reader_.open()) {
            if (open == not_found)
                break;
            if (noting_) {
                position_.value_opens(line, open);
                middle_names_.clear();
                if (line[open] != '{' && line[open] != '"') {
                    // A macro's name or a number: BibTeX's to read. The line
                    // is searched on as it would be without.
                    macros_.value_starts(line, open);
                    tell_if_long();
                    open = openings_.find(line, open);
                    continue;
                }
            }
            value_from = open + 1;
            reader_.start(line[open], open + 1);
            counted = 0;
            at = open + 1;
            line_end_before = false;
        }
        const std::size_t from = at;
        const std::size_t depth = reader_.depth();
        const std::int64_t before = reader_.separators();
        const value_end end = reader_.read(line, at, cut_here);
        if (noting_ && end != value_end::malformed && reader_.all_counted())
            seek_middle_names(line, from, at, depth, before, line_end_before, end == value_end::line_end);
        // A name in the held lines is the last no more once a separator follows.
        if (reader_.separators() != counted)
            held_.forget_name();
        if (end == value_end::line_end) {
            const bool cut_waits = held_.holds_cut() || cut_here != not_found;
            if (last_name_may_change(line) && reader_.last_name_on_line() != not_found) {
                if (!cut_waits)
                    held_.release();  // lines before the name's own need not wait for it
                held_.name_starts(reader_.last_name_on_line());
                reader_.forget_last_name();
            }
            if (cut_waits || held_.holds_name()) {
                if (held_.hold(line, cut_here))
                    return held_.waiting();
                reader_.copy_on();
            }
            held_.release();
            break;  // before the cut, the line is final as it is
        }
        reader_.close();
        if (end == value_end::malformed) {
            held_.release();
            break;
        }
        const std::string_view rest = line.substr(at + 1);
        const std::size_t after = skip_blanks(rest, 0);
        const bool concatenated = after < rest.size() && rest[after] == '#';
        const judgement made = concatenated ? judgement{} : judge_value(line, at, cut_here);
        const std::int64_t names = reader_.separators() + 1 + made.names_added;
        if (noting_ && !concatenated)
            note_middle_names(made, names);
        if (made.made == verdict::keep || made.made == verdict::keep_with_note) {
            if (made.made == verdict::keep_with_note && noting_)
                position_.note(cuts_, names);
            held_.release();
            if (concatenated && noting_) {
                const std::size_t tail = std::max(value_from, at - std::min<std::size_t>(at, counted_text::edge));
                macros_.joined_after(reader_.separators(), line.substr(tail, at - tail), line, at + 1);
                tell_if_long();
            }
            if (concatenated)
                break;  // its other parts may hold names, and this line's rest with them
        } else {
            ++(made.made == verdict::cut ? lists_cut_ : lists_mended_);
            if (noting_)
                position_.note(cuts_, names);
            if (!writing_) {
                held_.forget();
            } else if (made.made == verdict::mend) {
                held_.write_mend(line, made.from, made.to, mend_text_);
            } else {
                held_.write_cut(line, at, cut_here, reader_.delimiter() == '"' ? quoted_others_tail : others_tail);
            }
        }
        cut_here = not_found;
        open = openings_.find(line, at + 1);
    }
    return held_.done(line);
}

// A line while a macro's definition or a value joined with `#` goes on, or
// one that starts a @string. Reading the macros only looks on: the line is
// then judged as it would be without.
void list_filter::read_macros(std::string_view line)
{
    if (macros_.open())
        macros_.goes_on(line);
    else
        macros_.define(line);
    tell_if_long();
}

// Once a value built with a macro or `#` has been read: noted when BibTeX
// reads it as more names than the count, unless it already reads as a cut
// list (its first `keep` names, then "others").
void list_filter::tell_if_long()
{
    if (!macros_.field_ended())
        return;
    macros_.forget_field();
    const std::int64_t names = macros_.names();
    if (author_limit_ < 1 || names <= author_limit_ || (macros_.ends_in_others() && names == keep_ + 1))
        return;
    ++lists_left_long_;
    position_.left_long(cuts_, names, macros_.written_as());
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
