// Byte search that ignores the letter case of A to Z and nothing else. The
// folding is fixed whatever the locale, so that a file gives the same result
// on every machine; every other byte, 8-bit ones included, matches itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

inline constexpr std::size_t not_found = std::string_view::npos;

constexpr bool is_lower_letter(char c) { return c >= 'a' && c <= 'z'; }

/// Whether `byte` is `lower` in either case: a letter matches when it equals
/// `lower` with the 0x20 bit set, which only the letter and its capital do.
constexpr bool matches_folded(char byte, char lower)
{
    return is_lower_letter(lower) ? (static_cast<unsigned char>(byte) | 0x20U) == static_cast<unsigned char>(lower)
                                  : byte == lower;
}

/// Whether `text` is `lower` (written in lower case) in any letter case.
constexpr bool equals_folded(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!matches_folded(text[i], lower[i]))
            return false;
    return true;
}

/// Position of the first byte in [from, end) that is the letter `lower` in
/// either case, or not_found. Eight bytes at a time: one pass finds both
/// cases, where memchr would need one pass for each.
inline std::size_t find_letter(std::string_view text, char lower, std::size_t from, std::size_t end)
{
    constexpr std::uint64_t ones = 0x0101010101010101U;
    const std::uint64_t pattern = ones * static_cast<unsigned char>(lower);
    const char* const data = text.data();
    std::size_t i = from;
    for (; i + 8 <= end; i += 8) {
        std::uint64_t block = 0;
        std::memcpy(&block, data + i, sizeof block);
        const std::uint64_t zero_at_letter = (block | (ones * 0x20U)) ^ pattern;
        if (((zero_at_letter - ones) & ~zero_at_letter & (ones * 0x80U)) != 0)
            break;  // the letter is among these eight bytes
    }
    for (; i < end; ++i)
        if (matches_folded(data[i], lower))
            return i;
    return not_found;
}

/// Position of the first `word` (written in lower case) in any letter case
/// that lies within [from, end) of `text`, or not_found. Candidates are found
/// by the byte at `anchor`, a letter: the rarer it is in the text searched,
/// the fewer candidates to check.
template <const std::string_view& word, std::size_t anchor>
std::size_t find_folded(std::string_view text, std::size_t from, std::size_t end)
{
    static_assert(is_lower_letter(word[anchor]), "the anchor must be a letter");
    if (end < from + word.size())
        return not_found;
    const std::size_t anchor_end = end - word.size() + anchor + 1;  // past the last anchor byte
    for (std::size_t at = from + anchor; (at = find_letter(text, word[anchor], at, anchor_end)) != not_found; ++at)
        if (equals_folded(text.substr(at - anchor, word.size()), word))
            return at - anchor;
    return not_found;
}
