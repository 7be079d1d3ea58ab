// The loop that feeds the rule, for every face: bytes in, in pieces of any
// size (blocks read from a file, chunks of a file read by a browser), split
// into lines, each handed to a list_filter in order, and what it says to
// write put to an output.
#pragma once

#include "author_list.h"

#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

/// An output has `bool put(std::string_view text)`, false when the text
/// could not be written, and `static constexpr bool line_by_line`: true when
/// a reader follows it, so that each line goes out in a put of its own as
/// soon as it is judged. Otherwise whole runs of lines that open no listed
/// value go out in one put, without being split. An output with `static
/// constexpr bool follows_input` true is handed instead each input line with
/// what the rule says to write for it, `take(line, wrote, holding)`, and at
/// the end `finish(held, no_last_line_feed)`: a diff of the two.
class line_loop {
public:
    explicit line_loop(list_filter& filter) : filter_(filter) {}

    /// Hands the lines that `bytes` ends, a line begun in an earlier call
    /// among them, to the filter, and keeps the rest for the next call.
    /// False when `output` failed. Memory: std::bad_alloc for a line too
    /// long to hold.
    template <class Output>
    bool feed(std::string_view bytes, Output& output);

    /// At the end of the input: a last line without its line feed gets one,
    /// then what the filter still holds goes out.
    template <class Output>
    bool finish(Output& output);

private:
    template <class Output>
    bool emit(std::string_view line, Output& output);

    list_filter& filter_;
    // A line split across two pieces, or a last line without its line feed;
    // every other line is handed over straight from the piece.
    std::string carried_;
};

// `line` ends in its line feed.
// Whether `Output` follows the input, as a diff does.
template <class Output, class = void>
struct follows_input_of : std::false_type {};
template <class Output>
struct follows_input_of<Output, std::void_t<decltype(Output::follows_input)>>
    : std::bool_constant<Output::follows_input> {};
template <class Output>
constexpr bool follows_input()
{
    return follows_input_of<Output>::value;
}

template <class Output>
bool line_loop::emit(std::string_view line, Output& output)
{
    const line_output result = filter_.next_line(line.substr(0, line.size() - 1));
    if constexpr (follows_input<Output>())
        return output.take(line, result, filter_.holding());
    else
        return (result.before.empty() || output.put(result.before)) && (!result.write_line || output.put(line));
}

template <class Output>
bool line_loop::feed(std::string_view bytes, Output& output)
{
    if (!carried_.empty()) {
        const std::size_t found = bytes.find('\n');
        if (found == std::string_view::npos) {
            carried_.append(bytes);
            return true;
        }
        carried_.append(bytes.substr(0, found + 1));
        if (!emit(carried_, output))
            return false;
        carried_.clear();
        bytes.remove_prefix(found + 1);
    }
    // The whole lines end at the last line feed.
    const std::size_t last = bytes.rfind('\n');
    std::string_view lines = bytes.substr(0, last == std::string_view::npos ? 0 : last + 1);
    filter_.begin_piece(lines);
    const auto failed = [this] {
        filter_.end_piece();
        return false;
    };
    while (!lines.empty()) {
        if constexpr (!Output::line_by_line) {
            const std::size_t passed = filter_.pass_lines(lines);
            if (passed > 0 && !output.put(lines.substr(0, passed)))
                return failed();
            lines.remove_prefix(passed);
            if (lines.empty())
                break;
        }
#if defined(__wasm_simd128__)
        const std::size_t length = find_first(lines, '\n', 0, lines.size()) + 1;
#else
        const auto* end = static_cast<const char*>(std::memchr(lines.data(), '\n', lines.size()));
        const std::size_t length = static_cast<std::size_t>(end - lines.data()) + 1;
#endif
        // As emit(), spelled out: most lines pass here, and a call per line
        // would cost as much as the rule's look at it.
        const line_output result = filter_.next_line(lines.substr(0, length - 1));
        if constexpr (follows_input<Output>()) {
            if (!output.take(lines.substr(0, length), result, filter_.holding()))
                return failed();
        } else if ((!result.before.empty() && !output.put(result.before)) ||
                   (result.write_line && !output.put(lines.substr(0, length)))) {
            return failed();
        }
        lines.remove_prefix(length);
    }
    filter_.end_piece();
    carried_.append(bytes.substr(last == std::string_view::npos ? 0 : last + 1));
    return true;
}

template <class Output>
bool line_loop::finish(Output& output)
{
    const bool no_last_line_feed = !carried_.empty();
    if (!carried_.empty()) {
        carried_.push_back('\n');
        if (!emit(carried_, output))
            return false;
        carried_.clear();
    }
    const std::string_view held = filter_.end_of_input();
    if constexpr (follows_input<Output>())
        return output.finish(held, no_last_line_feed);
    else
        return held.empty() || output.put(held);
}
