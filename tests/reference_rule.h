// A slow, literal statement of the shortening rule, written apart from the
// real one so that tests can compare the two on any line: fold a copy, find
// with std::string::find, then check the field around the cut step by step.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// `text` with A to Z made a to z, and every other byte as it was.
inline std::string folded_copy(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return text;
}

inline std::string reference_rewrite(const std::string& line, std::int32_t limit)
{
    const std::string folded = folded_copy(line);

    const std::size_t keyword = folded.find("author");
    if (keyword == std::string::npos)
        return line;
    std::size_t cut = keyword + 5;
    for (std::int64_t names = 1; names <= limit; ++names) {
        const std::size_t separator = folded.find(" and ", cut);
        if (separator == std::string::npos)
            return line;
        cut = separator + 5;
    }

    // author [blanks] = [blanks] { or "
    std::size_t i = keyword + 6;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i >= line.size() || line[i] != '=')
        return line;
    ++i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i >= line.size() || (line[i] != '{' && line[i] != '"'))
        return line;
    const char delimiter = line[i];
    const std::size_t open = i;
    if (cut <= open)
        return line;

    // Depth of braces inside the value at every position up to its close.
    long depth = 0;
    long depth_at_cut = -1;
    std::size_t close = std::string::npos;
    for (std::size_t j = open + 1; j < line.size() && close == std::string::npos; ++j) {
        if (j == cut)
            depth_at_cut = depth;
        if (line[j] == '{') {
            ++depth;
        } else if (line[j] == '}') {
            if (depth == 0 && delimiter == '{')
                close = j;
            else if (depth == 0)
                return line;
            else
                --depth;
        } else if (line[j] == '"' && delimiter == '"' && depth == 0) {
            close = j;
        }
    }
    if (close == std::string::npos || cut > close || depth_at_cut != 0)
        return line;

    std::string after = line.substr(close + 1);
    if (!after.empty() && after.back() == '\r')
        after.pop_back();
    int commas = 0;
    for (char c : after) {
        if (c == ',')
            ++commas;
        else if (c != ' ' && c != '\t')
            return line;
    }
    if (commas > 1)
        return line;
    return line.substr(0, cut) + (delimiter == '{' ? "others }," : "others\",");
}

// Random lines built from the pieces the rule reacts to, so that near misses
// of every condition turn up often.
inline std::string random_line(std::mt19937& random)
{
    static const std::vector<std::string> pieces = {
        "author", "AUTHOR", "Author", "auth", " = ", "=", "\t", " ", "{", "}", "\"", " and ", " AND ", " aNd ",
        "and", " an", "d ", ",", "\r", "A", "Lee, B.", "title", "others", "\xc3\xa9", std::string(1, '\0'), "#", "\\\"",
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
    static const std::vector<std::string> ends = {"},", "\",", "}", "} ,\r", "\"\r"};
    if (random() % 3 == 0)
        line += ends[random() % ends.size()];
    return line;
}
