// The rule etal applies to a BibTeX file: shorten every name list (author,
// by default) that names more people than a limit so that styles print
// "et al.". A list is judged whole, however many lines its value takes.
// `list_filter` is the line loop's one way in: it hands each line to the
// parts that find where listed values open, read them, judge them, hold
// the lines that wait for a verdict, and tell where a list stands.
#pragma once

#include "bibtex_text.h"
#include "file_position.h"
#include "held_lines.h"
#include "macro_lists.h"
#include "value_openings.h"
#include "value_reader.h"
#include "verdict.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

/// A name as a message quotes it, on one line: a line end, with the blanks
/// around it, reads as one space, as BibTeX reads it.
std::string on_one_line(std::string_view name);

/// What a run wants of a filter besides the rule's verdict on each line.
enum class cut_notes {
    none,       // the text to write
    with_text,  // the text, and a note of each list cut (take_cuts)
    alone,      // the notes alone, for a check: no text is made to write
};

/// The rule over a file, handed one line at a time in order. A listed field
/// whose value holds more than `author_limit` names is cut just after its
/// `keep`-th separator and closed by `others_tail` (`quoted_others_tail` for
/// a quoted value), then exactly what followed the value's close on its
/// line (its comma or none, blanks, a CR); the value's lines after the cut
/// are dropped. A value followed by `#` is left whole, and so
/// is one whose names after the `keep`-th are BibTeX's "others" alone: it
/// already reads as a cut list.
///
/// A list that is not cut, with at least two names, whose last name is "et
/// al." written as a name (see `list_cut::et_al`), which styles would print
/// as a person, is mended: that name's bytes become "others", and every
/// other byte stays. A list over the count whose names after the `keep`-th
/// are only such a name is mended rather than cut. A last name that holds
/// "et al." after the person's name, or before a comma and it, becomes the
/// person and "others" (see `judge_last`), and the list is judged so. The
/// lines from the last name's first line to the value's close wait, as
/// those of a cut do.
///
/// After a value closes, the rest of its line is searched for the next field.
///
/// Noting, a name before the last that holds "et al." (`... and et al. and
/// Smith, J.`), which styles print between two people, gets a note as a last
/// name left holding it does, where it stays in the list; nothing changes.
/// So does a listed value that BibTeX reads as more names than the count
/// but the rule cannot cut: a @string macro defined earlier in the file, or
/// parts joined with `#` (macro_lists.h).
class list_filter {
public:
    /// Noting cuts, the filter also keeps the line number and the entry key
    /// of each value and counts every name in it, to tell of each cut
    /// (`take_cuts`); without, it does none of that work.
    explicit list_filter(const list_rule& rule, cut_notes notes = cut_notes::none);

    /// Judges the next line (without its line feed). Most lines come back as
    /// `write_line` alone, with nothing copied.
    inline line_output next_line(std::string_view line);

    /// How much of `lines` (whole lines, each ending in its line feed) comes
    /// before the first line that opens a listed value, or that continues
    /// one: every line before it would come back from `next_line` as
    /// `write_line` alone, and is taken as it would have been. One search
    /// for the fields' names over the run, where `next_line` looks at each
    /// line: for a run written out whole. Only within a piece.
    std::size_t pass_lines(std::string_view lines)
    {
        if (reader_.open() || macros_.open())
            return 0;
        const std::size_t passed = openings_.lines_before_next(lines);
        return noting_ ? macro_lists::lines_before_definition(lines.substr(0, passed)) : passed;
    }

    /// Says that the lines handed over until `end_piece`, to `next_line` or
    /// `pass_lines`, are those of `lines` (whole lines, each ending in its
    /// line feed), in order. A filter that notes its cuts then counts these
    /// lines, and finds their entries' keys, only where a note needs them,
    /// and at the piece's end: the rest is never looked at.
    void begin_piece(std::string_view lines)
    {
        openings_.forget_run();
        if (noting_)
            position_.begin_piece(lines);
    }

    /// The piece is done with; its memory may go.
    void end_piece()
    {
        openings_.forget_run();
        position_.end_piece(reader_.open() || macros_.open());
    }

    /// At the end of the input: the lines still held, of a value that never
    /// closed, to be written unchanged.
    std::string_view end_of_input()
    {
        reader_.close();
        return held_.end_of_input();
    }

    /// Whether lines wait for a value's close, not yet written.
    bool holding() const { return held_.size() > 0; }

    /// How many lists have been cut so far.
    std::uint64_t lists_cut() const { return lists_cut_; }

    /// How many lists ending in "et al." written as a name have been mended.
    std::uint64_t lists_mended() const { return lists_mended_; }

    /// Noting: how many lists over the count were left whole, being built
    /// with a macro or `#`.
    std::uint64_t lists_left_long() const { return lists_left_long_; }

    /// Whether an entry has started so far, as of the end of the last piece.
    /// Known only to a filter that notes its cuts.
    bool entry_seen() const { return position_.entry_seen(); }

    /// The cuts and mends noted since the last call, in the order they were
    /// made; always empty when not noting them.
    std::vector<list_cut> take_cuts() { return std::exchange(cuts_, {}); }

private:
    line_output judge_line(std::string_view line, std::size_t open);
    void read_macros(std::string_view line);
    void tell_if_long();
    bool following_last_name() const { return reader_.all_counted() && author_limit_ >= 1; }
    bool last_name_may_change(std::string_view line);
    judgement judge_value(std::string_view line, std::size_t close, std::size_t cut_here);
    void seek_middle_names(std::string_view line, std::size_t from, std::size_t to, std::size_t depth,
                           std::int64_t before, bool continues, bool line_end_after);
    void note_middle_names(const judgement& made, std::int64_t names);

    std::int32_t author_limit_;
    std::int32_t keep_;  // 1 to author_limit_
    bool noting_;
    bool writing_;
    value_openings openings_;
    value_reader reader_;
    held_lines held_;
    file_position position_;
    std::uint64_t lists_cut_ = 0;
    std::uint64_t lists_mended_ = 0;
    std::uint64_t lists_left_long_ = 0;
    macro_lists macros_;  // noting only
    std::vector<list_cut> cuts_;  // noted, not yet taken
    std::string mend_text_;       // what the last mend wrote
    // Noting: the value's names before its last that hold "et al.", with
    // the separators before each, to be noted at its close; and, at a line
    // end within it, its last name so far.
    struct middle_name {
        std::string name;
        std::int64_t index = 0;
    };
    std::vector<middle_name> middle_names_;
    std::string name_so_far_;
};

// Defined here so that the loop over the lines runs it without a call: after
// each write, a call and its return cost more than the search itself.
inline line_output list_filter::next_line(std::string_view line)
{
    if (noting_) {
        position_.at_line(line);
        if (macros_.open() || (!reader_.open() && macro_lists::defines(line)))
            read_macros(line);
    }
    if (reader_.open())
        return judge_line(line, not_found);
    const std::size_t known = openings_.known_on(line);
    if (known != not_found)
        return judge_line(line, known);
    const std::size_t open = openings_.find(line, 0);
    // Most lines: no value open, and none opening.
    return open == not_found ? line_output{} : judge_line(line, open);
}

/// The rule on a line alone, for the author field: `line` with its list cut
/// after the first `author_limit` names, or mended where it ends in "et al."
/// written as a name; unchanged when the list fits and ends otherwise, when
/// `author_limit` is below 1, or when the value does not close on the line.
std::string rewrite_author_line(const std::string& line, std::int32_t author_limit);
