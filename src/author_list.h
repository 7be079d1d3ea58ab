// The rule etal applies to a BibTeX file: shorten every name list (author,
// by default) that names more people than a limit so that styles print
// "et al.". A list is judged whole, however many lines its value takes.
#pragma once

#include "folded_search.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Names an author field when followed by `=` and a value. Matched in any
/// letter case, as a plain substring: "Author", "AUTHOR", "bookauthor".
inline constexpr std::string_view author_keyword = "author";

/// What stands between two names; matched in any letter case ("AND", "And"),
/// and only at the value's top level: "{Barnes and Noble}" is one name.
inline constexpr std::string_view author_separator = " and ";

/// Ends a shortened braced value: BibTeX's "others" closes the list, then the
/// brace and comma that close the field again. Without the comma when the
/// rest of the closing line follows.
inline constexpr std::string_view others_tail = "others },";

/// Ends a shortened value written between double quotes.
inline constexpr std::string_view quoted_others_tail = "others\",";

/// The most bytes of lines held from a cut to the value's close (a 3,000-name
/// list one name a line takes about 100 KiB). Past it the held lines are
/// written unchanged and the value is copied on as one that never closes.
inline constexpr std::size_t held_lines_limit = std::size_t{1} << 20;

/// How many bytes of a UTF-8 byte order mark the first line of a file starts
/// with: 3, or 0. It is no part of the line: BibTeX passes over it as over
/// any text between entries.
inline std::size_t byte_order_mark_before(std::string_view first_line)
{
    return first_line.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

/// A blank between the parts of a field: a space or a tab.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

/// Position of the `{` or `"` that opens a value after the `=` at `equals`
/// and the blanks after it; else not_found.
inline std::size_t value_opening_after(std::string_view text, std::size_t equals)
{
    std::size_t open = equals + 1;
    while (open < text.size() && is_blank(text[open]))
        ++open;
    return open < text.size() && (text[open] == '{' || text[open] == '"') ? open : not_found;
}

/// Which lists are shortened, and to how many names.
struct list_rule {
    /// A list of more names than this is cut; below 1, none is.
    std::int32_t author_limit = 6;
    /// The names a cut list keeps before "others"; outside 1 to
    /// `author_limit` (0, say), as many as `author_limit`.
    std::int32_t keep = 0;
    /// The name-list fields, each matched as `author_keyword` is: in any
    /// letter case, as a plain substring, followed by blanks, `=`, blanks and
    /// a value. Empty names are passed over.
    std::vector<std::string> fields = {std::string(author_keyword)};
};

/// A list that the rule cuts, or mends, as told by a filter that notes them.
struct list_cut {
    std::uint64_t line = 0;  // where its value opens, from 1
    std::string key;         // of its entry, or "?" where there is none
    std::string field;       // the field's name as written
    std::int64_t names = 0;  // in the whole value
    /// For a list mended rather than cut: its last name, "et al." written
    /// as a name (`et al.`, `Al., Et`, `{others}`), byte for byte; empty for
    /// a cut.
    std::string et_al;
};

/// A name as a message quotes it, on one line: a line end, with the blanks
/// around it, reads as one space, as BibTeX reads it.
std::string on_one_line(std::string_view name);

/// What a run wants of a filter besides the rule's verdict on each line.
enum class cut_notes {
    none,       // the text to write
    with_text,  // the text, and a note of each list cut (take_cuts)
    alone,      // the notes alone, for a check: no text is made to write
};

/// What to write for one line, in this order: `before` (whole lines, each
/// ending in a line feed; valid until the next call), then, if `write_line`,
/// the line itself unchanged with its line feed. Neither: the line is held.
struct line_output {
    std::string_view before;
    bool write_line = true;
};

/// The rule over a file, handed one line at a time in order. A listed field
/// whose value holds more than `author_limit` names is cut just after its
/// `keep`-th separator and closed by `others_tail` (`quoted_others_tail` for
/// a quoted value), then whatever followed the value on its closing line
/// unless that is only blanks, a comma and a final CR; the value's lines
/// after the cut are dropped. A value followed by `#` is left whole, and so
/// is one whose names after the `keep`-th are BibTeX's "others" alone: it
/// already reads as a cut list.
///
/// A list that is not cut, with at least two names, whose last name is "et
/// al." written as a name (see `list_cut::et_al`), which styles would print
/// as a person, is mended: that name's bytes become "others", and every
/// other byte stays. A list over the count whose names after the `keep`-th
/// are only such a name is mended rather than cut. The lines from such a
/// name's first line to the value's close wait, as those of a cut do.
///
/// After a value closes, the rest of its line is searched for the next field.
class list_filter {
public:
    /// Noting cuts, the filter also keeps the line number and the entry key
    /// of each value and counts every name in it, to tell of each cut
    /// (`take_cuts`); without, it does none of that work.
    explicit list_filter(list_rule rule, cut_notes notes = cut_notes::none);

    /// Judges the next line (without its line feed). Most lines come back as
    /// `write_line` alone, with nothing copied.
    inline line_output next_line(std::string_view line);

    /// How much of `lines` (whole lines, each ending in its line feed) comes
    /// before the first line that opens a listed value, or that continues
    /// one: every line before it would come back from `next_line` as
    /// `write_line` alone, and is taken as it would have been. One search
    /// for the fields' names over the run, where `next_line` looks at each
    /// line: for a run written out whole. Only within a piece.
    std::size_t pass_lines(std::string_view lines);

    /// Says that the lines handed over until `end_piece`, to `next_line` or
    /// `pass_lines`, are those of `lines` (whole lines, each ending in its
    /// line feed), in order. A filter that notes its cuts then counts these
    /// lines, and finds their entries' keys, only where a note needs them,
    /// and at the piece's end: the rest is never looked at.
    void begin_piece(std::string_view lines);

    /// The piece is done with; its memory may go.
    void end_piece();

    /// At the end of the input: the lines still held, of a value that never
    /// closed, to be written unchanged.
    std::string_view end_of_input();

    /// How many lists have been cut so far.
    std::uint64_t lists_cut() const { return lists_cut_; }

    /// How many lists ending in "et al." written as a name have been mended.
    std::uint64_t lists_mended() const { return lists_mended_; }

    /// Whether an entry has started so far, as of the end of the last piece:
    /// a line whose first byte, after blanks (and a byte order mark before
    /// the first line), is `@`. Known only to a filter that notes its cuts.
    bool entry_seen() const { return !key_.empty(); }

    /// The cuts and mends noted since the last call, in the order they were
    /// made; always empty when not noting them.
    std::vector<list_cut> take_cuts() { return std::exchange(cuts_, {}); }

private:
    enum class value_end { line_end, closed, malformed };

    struct field_name {
        std::string lower;
        folded_pattern pattern;  // of its last eight bytes, checked first
    };

    std::size_t find_value_in_run(std::string_view lines) const;

    enum class verdict { keep, cut, mend };

    line_output judge_line(std::string_view line, std::size_t open);
    inline std::size_t find_value(std::string_view line, std::size_t from) const;
    inline std::size_t value_after(std::string_view text, std::size_t equals) const;
    inline void note_line(std::string_view line);
    void note_entry(std::string_view line, std::size_t at);
    std::uint64_t number_of(const char* line);
    void find_entry_before(const char* line);
    void place_value();
    void start_value(std::string_view line, std::size_t open);
    value_end scan_value(std::string_view line, std::size_t& at, std::size_t& cut_here);
    bool completes_separator(char c);
    bool note_separator(std::size_t after, std::size_t& cut);
    bool counting_separators() const;
    std::string_view held_then(std::size_t from, std::string_view rest, std::string& joined) const;
    bool following_last_name() const;
    bool last_name_may_be_et_al(std::string_view line);
    bool hold_line(std::string_view line, std::size_t cut_here);
    void release_held();
    void forget_held();
    verdict judge_value(std::string_view line, std::size_t close, std::size_t cut_here, std::size_t& from,
                        std::size_t& to);
    bool write_cut(std::string_view line, std::size_t close, std::size_t cut_here);
    void write_mend(std::string_view line, std::size_t from, std::size_t to);

    std::int32_t author_limit_;
    std::int32_t keep_;
    std::vector<field_name> fields_;
    word_ends_search field_search_;  // for the names in a run of lines
    bool noting_;
    bool writing_;
    std::int64_t count_to_;       // separators are counted up to this many

    std::uint64_t lists_cut_ = 0;
    std::uint64_t lists_mended_ = 0;
    std::vector<list_cut> cuts_;  // noted, not yet taken
    // Noting: the lines counted so far, and the key of the entry last started
    // (empty before any); within a piece, as of `counted_to_` and `keyed_to_`.
    std::uint64_t line_number_ = 0;
    std::string key_;
    std::string_view piece_;          // the piece handed over, if any
    bool piece_starts_input_ = false; // its first line may begin with a byte order mark
    const char* counted_to_ = nullptr;
    const char* keyed_to_ = nullptr;
    std::string_view line_;           // the line judged, in the piece
    std::string_view value_line_;     // where the open value opened, in the piece, until placed
    std::size_t value_open_ = 0;      // where on that line
    const char* opening_line_ = nullptr;  // the next line, where pass_lines found a value opening
    std::size_t opening_ = 0;             // on it
    list_cut value_;              // where the open value stands, when noting

    bool in_value_ = false;       // the last line left a listed value open
    char delimiter_ = '{';        // `{` or `"`, what opened it
    std::size_t nested_ = 0;      // braces open inside it
    std::int64_t separators_ = 0; // found at its top level, up to count_to_
    std::size_t matched_ = 0;     // bytes of a separator matched so far
    bool copying_ = false;        // too long to hold: copied as it is
    // Where the last name so far starts, while it may be "et al." written as
    // a name: on this line (all before it since the separator was blank), or
    // in `held_`; neither before the first separator, or once ruled out.
    std::size_t name_from_ = not_found;
    std::size_t name_held_at_ = not_found;
    std::size_t cut_ = not_found; // in `held_`, when the cut lies there
    std::string held_;            // the lines from the cut's (or that name's) on, each with a line feed
    std::string edited_;          // the current line's text, as written, up to `copied_from_`
    std::size_t copied_from_ = 0; // where the current line is copied on from
    std::string out_;             // what the last call asked to write
};

// The two below judge most lines of a file alone, and are defined here so
// that the loop over the lines runs them without a call: after each write,
// a call and its return cost more than the search itself.

inline line_output list_filter::next_line(std::string_view line)
{
    if (noting_) {
        if (piece_.data() != nullptr)
            line_ = line;  // counted, and its entry found, only if a note needs it
        else
            note_line(line);
    }
    if (in_value_)
        return judge_line(line, not_found);
    if (line.data() == opening_line_) {
        opening_line_ = nullptr;
        return judge_line(line, opening_);
    }
    const std::size_t open = find_value(line, 0);
    // Most lines: no value open, and none opening.
    return open == not_found ? line_output{} : judge_line(line, open);
}

// Counts the line, and notes the key of an entry that starts on it, for the
// cuts that name them.
inline void list_filter::note_line(std::string_view line)
{
    std::size_t at = ++line_number_ == 1 ? byte_order_mark_before(line) : 0;
    while (at < line.size() && is_blank(line[at]))
        ++at;
    if (at < line.size() && line[at] == '@')
        note_entry(line, at);
}

// Position of the `{` or `"` that opens the value of the first listed field
// on the line from `from`, or not_found. Every field's name stands just
// before an `=`, so one search for `=` serves all the names: "Authoritarian"
// in a title names no field.
inline std::size_t list_filter::find_value(std::string_view line, std::size_t from) const
{
    for (std::size_t equals; (equals = find_first(line, '=', from, line.size())) != not_found; from = equals + 1) {
        const std::size_t open = value_after(line, equals);
        if (open != not_found)
            return open;
    }
    return not_found;
}

// Position of the `{` or `"` that opens a value after the `=` at `equals`,
// when a listed field's name stands before it; else not_found.
inline std::size_t list_filter::value_after(std::string_view text, std::size_t equals) const
{
    const std::size_t open = value_opening_after(text, equals);
    if (open == not_found)
        return not_found;
    std::size_t name_end = equals;
    while (name_end > 0 && is_blank(text[name_end - 1]))
        --name_end;
    for (const field_name& field : fields_)
        if (ends_with_folded(text, name_end, field.lower, field.pattern))
            return open;
    return not_found;
}

/// The rule on a line alone, for the author field: `line` with its list cut
/// after the first `author_limit` names, or mended where it ends in "et al."
/// written as a name; unchanged when the list fits and ends otherwise, when
/// `author_limit` is below 1, or when the value does not close on the line.
std::string rewrite_author_line(const std::string& line, std::int32_t author_limit);
