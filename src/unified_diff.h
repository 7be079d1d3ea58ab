// --diff: what -i would write, as a unified diff of the file's bytes
// against the new ones, which `git apply` and `patch -p1` take. The line
// loop hands it each line of the file with what the rule says to write for
// it; the lines a list's cut or mend changes are one change, with three
// lines of context around it, and changes closer than that share a hunk.
// Lines are bytes: not UTF-8, CR line ends and a last line without a line
// feed come back as they were when the diff is applied.
#pragma once

#include "held_lines.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

/// An output of the line loop that is handed each input line with what the
/// rule wrote for it, and writes the diff with `put` of `Writer`.
template <class Writer>
class unified_diff {
public:
    static constexpr bool line_by_line = true;
    static constexpr bool follows_input = true;

    /// The diff of the file named `name` (the `a/NAME` and `b/NAME` of its
    /// header), written to `writer`.
    unified_diff(std::string name, Writer& writer) : name_(std::move(name)), writer_(writer) {}

    /// The next input line, ending in its line feed; `wrote`, what the rule
    /// said to write with it; `holding`, whether the rule holds lines still.
    bool take(std::string_view line, const line_output& wrote, bool holding);

    /// At the end of the input: the lines the rule held, written as they
    /// were; whether the input's last line had no line feed of its own.
    bool finish(std::string_view held, bool no_last_line_feed);

    /// Whether the file changes: a diff was written.
    bool changed() const { return changed_; }

private:
    static constexpr std::size_t context = 3;

    bool unchanged(std::string_view line);
    void change(const std::vector<std::string_view>& removed, const std::vector<std::string_view>& added);
    bool close_hunk(std::size_t trailing);

    std::string name_;
    Writer& writer_;
    std::uint64_t old_line_ = 0;   // the old file's lines settled so far
    std::int64_t delta_ = 0;       // the new file's lines less the old's, so far
    std::string pending_old_;      // lines taken and not yet settled
    std::string pending_new_;      // what the rule wrote for them so far
    std::deque<std::string> recent_;  // unchanged lines since the last change
    std::string hunk_;             // the open hunk's lines, without its header
    bool hunk_open_ = false;
    std::uint64_t hunk_old_start_ = 0;
    std::uint64_t hunk_old_count_ = 0;
    std::uint64_t hunk_new_count_ = 0;
    std::size_t removed_end_ = 0;  // where the last change's removed lines end in `hunk_`
    bool changed_ = false;
};

/// The lines of `text`, each with its line feed (the last may have none).
inline std::vector<std::string_view> lines_with_ends(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1);
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

template <class Writer>
bool unified_diff<Writer>::take(std::string_view line, const line_output& wrote, bool holding)
{
    // Most lines: nothing held, nothing else written, the line as it was.
    if (pending_old_.empty() && wrote.write_line && wrote.before.empty())
        return unchanged(line);
    pending_new_.append(wrote.before);
    pending_old_.append(line);
    if (wrote.write_line)
        pending_new_.append(line);
    if (holding)
        return true;
    const std::vector<std::string_view> old_lines = lines_with_ends(pending_old_);
    const std::vector<std::string_view> new_lines = lines_with_ends(pending_new_);
    // The lines alike at both ends are context; the rest is one change.
    std::size_t first = 0;
    while (first < old_lines.size() && first < new_lines.size() && old_lines[first] == new_lines[first])
        ++first;
    std::size_t last = 0;
    while (last < old_lines.size() - first && last < new_lines.size() - first &&
           old_lines[old_lines.size() - 1 - last] == new_lines[new_lines.size() - 1 - last])
        ++last;
    bool ok = true;
    for (std::size_t i = 0; i < first; ++i)
        ok = ok && unchanged(old_lines[i]);
    if (first + last < old_lines.size() || first + last < new_lines.size())
        change({old_lines.begin() + static_cast<std::ptrdiff_t>(first), old_lines.end() - static_cast<std::ptrdiff_t>(last)},
               {new_lines.begin() + static_cast<std::ptrdiff_t>(first), new_lines.end() - static_cast<std::ptrdiff_t>(last)});
    for (std::size_t i = old_lines.size() - last; i < old_lines.size(); ++i)
        ok = ok && unchanged(old_lines[i]);
    pending_old_.clear();
    pending_new_.clear();
    return ok;
}

// An unchanged line: context for a hunk open, or one to come.
template <class Writer>
bool unified_diff<Writer>::unchanged(std::string_view line)
{
    ++old_line_;
    if (!hunk_open_ && recent_.size() == context)
        recent_.pop_front();
    recent_.emplace_back(line);
    // More unchanged lines than two hunks' context: the open one ends.
    return !hunk_open_ || recent_.size() <= 2 * context || close_hunk(context);
}

template <class Writer>
void unified_diff<Writer>::change(const std::vector<std::string_view>& removed, const std::vector<std::string_view>& added)
{
    if (!hunk_open_) {
        hunk_open_ = true;
        hunk_old_start_ = old_line_ + 1 - recent_.size();
        hunk_old_count_ = 0;
        hunk_new_count_ = 0;
        hunk_.clear();
    }
    for (const std::string& line : recent_)
        hunk_.append(" ").append(line);
    hunk_old_count_ += recent_.size() + removed.size();
    hunk_new_count_ += recent_.size() + added.size();
    recent_.clear();
    for (const std::string_view line : removed)
        hunk_.append("-").append(line);
    removed_end_ = hunk_.size();
    for (const std::string_view line : added)
        hunk_.append("+").append(line);
    old_line_ += removed.size();
    delta_ += static_cast<std::int64_t>(added.size()) - static_cast<std::int64_t>(removed.size());
}

// Writes the open hunk, with `trailing` of the unchanged lines after its
// last change; the last `context` of them stay, for the next hunk.
template <class Writer>
bool unified_diff<Writer>::close_hunk(std::size_t trailing)
{
    trailing = std::min(trailing, recent_.size());
    for (std::size_t i = 0; i < trailing; ++i)
        hunk_.append(" ").append(recent_[i]);
    const std::uint64_t old_count = hunk_old_count_ + trailing;
    const std::uint64_t new_count = hunk_new_count_ + trailing;
    // The new file's lines before the hunk: the old file's, and the lines
    // that the changes before it added or took away.
    const std::int64_t hunk_delta = static_cast<std::int64_t>(new_count) - static_cast<std::int64_t>(old_count);
    const std::uint64_t new_start =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(hunk_old_start_) + delta_ - hunk_delta);
    // An empty side names the line before it.
    const auto range = [](std::uint64_t start, std::uint64_t count) {
        return std::to_string(count == 0 ? start - 1 : start) + "," + std::to_string(count);
    };
    std::string text;
    if (!changed_)
        text.append("--- a/").append(name_).append("\n+++ b/").append(name_).append("\n");
    text.append("@@ -").append(range(hunk_old_start_, old_count)).append(" +").append(range(new_start, new_count));
    text.append(" @@\n").append(hunk_);
    changed_ = true;
    hunk_open_ = false;
    hunk_.clear();
    while (recent_.size() > context)
        recent_.pop_front();
    return writer_.put(text);
}

template <class Writer>
bool unified_diff<Writer>::finish(std::string_view held, bool no_last_line_feed)
{
    if (!pending_old_.empty() && !take({}, {held, false}, false))
        return false;
    // Nothing changes, and -i leaves the file as it is; or what changes has
    // been written, and the last line with it.
    if (!hunk_open_ && (!changed_ || !no_last_line_feed))
        return true;
    if (no_last_line_feed) {
        // -i ends the last line with a line feed: the old one had none.
        if (!recent_.empty()) {
            const std::string last = recent_.back();
            recent_.pop_back();
            --old_line_;
            change({last}, {last});
        }
        hunk_.insert(removed_end_, "\n\\ No newline at end of file\n");
        hunk_.erase(removed_end_ - 1, 1);  // the line feed the loop gave it
    }
    return close_hunk(recent_.size());
}
