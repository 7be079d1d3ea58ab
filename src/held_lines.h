// What waits to be written: the lines of a value whose fate is known only at
// its close (one being cut, or whose last name may be "et al." written as a
// name), held within a bound; and the line being judged, as it is to be
// written. The verdict says what to write; this writes it, and keeps the
// places in the held lines (the cut, the last name's start) that it needs.
#pragma once

#include "vector_search.h"

#include <cstddef>
#include <string>
#include <string_view>

/// The most bytes of lines held from a cut to the value's close (a 3,000-name
/// list one name a line takes about 100 KiB). Past it the held lines are
/// written unchanged and the value is copied on as one that never closes.
inline constexpr std::size_t held_lines_limit = std::size_t{1} << 20;

/// What to write for one line, in this order: `before` (whole lines, each
/// ending in a line feed; valid until the next call), then, if `write_line`,
/// the line itself unchanged with its line feed. Neither: the line is held.
struct line_output {
    std::string_view before;
    bool write_line = true;
};

class held_lines {
public:
    /// A line is to be judged: nothing of it is written yet.
    void begin_line()
    {
        out_.clear();
        edited_.clear();
        copied_from_ = 0;
    }

    /// Holds the line, as written so far, while its value stays open; sets
    /// the cut's place when it falls on the line (`cut_here`). False when it
    /// does not fit within the bound: the held lines are then released.
    bool hold(std::string_view line, std::size_t cut_here);

    /// Moves the held lines, unchanged, to what is written next.
    void release();

    /// Drops the held lines: they are not to be written.
    void forget();

    /// Whether the cut lies in the held lines.
    bool holds_cut() const { return cut_ != not_found; }
    std::size_t cut() const { return cut_; }

    /// Where the last name starts in the held lines, once it began on one.
    bool holds_name() const { return name_at_ != not_found; }
    std::size_t name_at() const { return name_at_; }
    /// The last name starts at `on_line` on the line being judged, which is
    /// to be held.
    void name_starts(std::size_t on_line) { name_at_ = held_.size() + edited_.size() + (on_line - copied_from_); }
    void forget_name() { name_at_ = not_found; }

    std::size_t size() const { return held_.size(); }

    /// The held lines from `from` on, then `rest` of this line, as one text
    /// in `joined`.
    std::string_view then(std::size_t from, std::string_view rest, std::string& joined) const
    {
        return joined.assign(held_, from).append(rest);
    }

    /// Writes the value closing at `close` cut at `cut_here` (not_found: at
    /// the held cut) and ended by `tail`, after what the line has written
    /// so far; the line goes on from just past `close`, byte for byte.
    void write_cut(std::string_view line, std::size_t close, std::size_t cut_here, std::string_view tail);

    /// Writes `now` for the bytes [from, to) of the held lines and this
    /// line, taken as one text; all else stays as it was.
    void write_mend(std::string_view line, std::size_t from, std::size_t to, std::string_view now);

    /// The line is held: what is to be written before it.
    line_output waiting() const { return {out_, false}; }

    /// What to write for the line judged, now that it is done.
    line_output done(std::string_view line)
    {
        if (edited_.empty() && copied_from_ == 0)
            return {out_, true};
        out_.append(edited_).append(line.substr(copied_from_)).push_back('\n');
        return {out_, false};
    }

    /// At the end of the input: the lines still held, to be written unchanged.
    std::string_view end_of_input()
    {
        out_.clear();
        release();
        return out_;
    }

private:
    std::string held_;             // the lines from the cut's (or the last name's) on, each with a line feed
    std::size_t cut_ = not_found;  // in `held_`, when the cut lies there
    std::size_t name_at_ = not_found;
    std::string edited_;           // the current line's text, as written, up to `copied_from_`
    std::size_t copied_from_ = 0;  // where the current line is copied on from
    std::string out_;              // what the last line judged asks to write
};
