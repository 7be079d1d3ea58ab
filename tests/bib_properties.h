// What every run of the rule must keep, whatever the text: checked on
// generated files in the tests and on any bytes by the fuzzer.
#pragma once

#include "author_list.h"
#include "line_loop.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// The lines of `text` without their line feeds; a last line need not have one.
inline std::vector<std::string_view> lines_of(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The rule over a whole text in memory, as the program runs it over a file.
inline std::string filter_text(std::string_view text, list_filter& filter)
{
    std::string output;
    for (const std::string_view line : lines_of(text)) {
        const line_output result = filter.next_line(line);
        output.append(result.before);
        if (result.write_line)
            output.append(line).push_back('\n');
    }
    return output.append(filter.end_of_input());
}

inline std::string filter_text(std::string_view text, const list_rule& rule)
{
    list_filter filter(rule);
    return filter_text(text, filter);
}

// All that the line loop writes, in one text.
struct text_output {
    static constexpr bool line_by_line = false;
    std::string text;
    bool put(std::string_view written)
    {
        text.append(written);
        return true;
    }
};

// Whether `mended` is `text` with each name of `names` mended, in order,
// become what it was mended to, and nothing else changed (a last line gets
// its line feed). Names noted but left as they are stay.
inline bool only_names_mended(std::string text, const std::vector<list_cut>& names, std::string_view mended)
{
    if (!text.empty() && text.back() != '\n')
        text.push_back('\n');
    std::size_t in = 0;
    std::size_t out = 0;
    for (const list_cut& name : names) {
        if (name.now.empty())
            continue;
        // The name starts where the texts part, or before, where they part
        // within what it became.
        std::size_t same = 0;
        while (in + same < text.size() && out + same < mended.size() && text[in + same] == mended[out + same])
            ++same;
        std::size_t at = same;
        while (text.compare(in + at, name.et_al.size(), name.et_al) != 0 ||
               mended.compare(out + at, name.now.size(), name.now) != 0) {
            if (at == 0 || same - at == name.now.size())
                return false;
            --at;
        }
        in += at + name.et_al.size();
        out += at + name.now.size();
    }
    return text.compare(in, std::string::npos, mended.substr(out)) == 0;
}

// Empty when a run with `rule` keeps its promises on `input`, else the one
// it broke:
//  - running again changes nothing, and cutting at a larger count first
//    ends in the same text;
//  - noting the cuts changes nothing written, and notes each cut and mend,
//    and besides them only last names that hold "et al.";
//  - a count below 1 changes nothing; one above every list mends the names
//    noted, and changes nothing else;
//  - every output line that does not end a cut list is a line of that
//    text, in order: nothing is invented or moved.
inline std::string broken_promise(const std::string& input, const list_rule& rule)
{
    const std::int32_t limit = rule.author_limit;
    const auto at = [&rule](std::int32_t count) { return list_rule{count, rule.keep, rule.fields}; };
    const std::string output = filter_text(input, rule);
    list_filter again(rule);
    if (filter_text(output, again) != output || again.lists_cut() + again.lists_mended() != 0)
        return "a second run changed the output, or cut or mended a list";
    list_filter noting(rule, cut_notes::with_text);
    if (filter_text(input, noting) != output)
        return "noting the cuts changed the output";
    std::vector<list_cut> cuts = noting.take_cuts();
    const auto by_line = [](const list_cut& a, const list_cut& b) { return a.line < b.line; };
    const auto is_note = [](const list_cut& cut) { return (!cut.et_al.empty() && cut.now.empty()) || !cut.built.empty(); };
    const auto not_over = [limit, &is_note](const list_cut& cut) {
        return cut.line == 0 ||
               (!cut.built.empty() ? cut.names <= limit
                : is_note(cut)     ? !holds_et_al(cut.et_al)
                             : (cut.et_al.empty() && cut.names <= limit) || (!cut.et_al.empty() && cut.names < 2));
    };
    const auto notes = static_cast<std::size_t>(std::count_if(cuts.begin(), cuts.end(), is_note));
    if (cuts.size() - notes != noting.lists_cut() + noting.lists_mended() ||
        !std::is_sorted(cuts.begin(), cuts.end(), by_line) || std::any_of(cuts.begin(), cuts.end(), not_over))
        return "the cuts noted are not those made, in order, of lists over the rule";
    // The line loop, fed the text whole and in pieces of 1 to 17 bytes, with
    // runs of lines passed whole: the same text, and the same notes.
    for (const bool whole : {true, false}) {
        list_filter fed(rule, cut_notes::with_text);
        line_loop loop(fed);
        text_output written;
        for (std::size_t from = 0, piece = whole ? input.size() : 1; from < input.size();
             from += piece, piece = piece * 5 % 17 + 1)
            loop.feed(std::string_view(input).substr(from, piece), written);
        loop.finish(written);
        const std::vector<list_cut> fed_cuts = fed.take_cuts();
        const auto same = [](const list_cut& a, const list_cut& b) {
            return a.line == b.line && a.key == b.key && a.field == b.field && a.names == b.names;
        };
        if (written.text != output || !std::equal(cuts.begin(), cuts.end(), fed_cuts.begin(), fed_cuts.end(), same))
            return whole ? "the line loop, fed the text whole, wrote or noted otherwise"
                         : "the line loop, fed the text in pieces, wrote or noted otherwise";
    }
    if (limit >= 1 && limit < INT32_MAX && filter_text(filter_text(input, at(limit + 1)), rule) != output)
        return "a cut at the next count first changed the result";
    if (limit < 1 && output != filter_text(input, at(0)))
        return "a count below 1 changed the text";
    list_filter mending(at(INT32_MAX), cut_notes::with_text);
    const std::string mended = filter_text(input, mending);
    if (mending.lists_cut() != 0 || !only_names_mended(input, mending.take_cuts(), mended))
        return "a count above every list changed more than the names mended";
    const std::vector<std::string_view> in = lines_of(limit < 1 ? input : mended);
    std::size_t next = 0;
    for (const std::string_view line : lines_of(output)) {
        if (line.find("others }") != std::string_view::npos || line.find("others\"") != std::string_view::npos)
            continue;
        while (next < in.size() && in[next] != line)
            ++next;
        if (next++ == in.size())
            return "an output line is neither an input line nor a mended one: " + std::string(line);
    }
    return {};
}

// Lines built from the pieces the rule reacts to, so that near misses of
// every condition turn up often, and files of them, with wrapped values.
inline std::string random_line(std::mt19937& random)
{
    static const std::vector<std::string> pieces = {
        "author", "AUTHOR", "Author", "auth", " = ", "=", "\t", " ", "{", "}", "\"", " and ", " AND ", " aNd ",
        "and", " an", "d ", " and\t", "\tAnd ", ",", "\r", "A", "Lee, B.", "title", "others", "editor = {", "Roland", "\xc3\xa9", std::string(1, '\0'), "#", "\\\"",
        "@", "  ",
        // "et al." written as a name, whole and in pieces
        " and et al.", "Et", "~AL", ".", "al., et", " {Others}", "OTHERS", "et al",
        // "et al." glued to a name, after it or before a comma
        " et al.", ", et al", "~et.~al.", " \\textit{et al.}", "{\\it et al.}", "Et al., ", "{et al.,}"
    };
    std::string line;
    if (random() % 3 == 0) {
        // most lines in real files look like a field
        line = random() % 2 ? "  author = " : "author=";
        line += random() % 2 ? "{" : "\"";
    }
    const std::size_t count = random() % 24;
    for (std::size_t i = 0; i < count; ++i)
        line += pieces[random() % pieces.size()];
    static const std::vector<std::string> ends = {"},", "\",", "}", "} ,\r", "\"\r", " and", "} # x,"};
    if (random() % 3 == 0)
        line += ends[random() % ends.size()];
    return line;
}

inline std::string random_file(std::mt19937& random, std::size_t lines)
{
    std::string text = random() % 8 == 0 ? "\xEF\xBB\xBF" : "";  // a byte order mark
    for (std::size_t i = 0; i < lines; ++i) {
        if (random() % 3 == 0)
            text += random() % 2 ? "\t\t  " : " ";  // a continued value's indentation
        text += random_line(random);
        if (i + 1 < lines || random() % 2 == 0)
            text += '\n';
    }
    return text;
}
