// Byte search that ignores the letter case of A to Z and nothing else. The
// folding is fixed whatever the locale, so that a file gives the same result
// on every machine; every other byte, 8-bit ones included, matches itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

inline constexpr std::size_t not_found = std::string_view::npos;

/// Eight bytes from `at` as one integer whose lowest byte is the first,
/// whatever the machine's byte order: the patterns below are built so. On a
/// little-endian machine it is a plain load; a big-endian one swaps it.
inline std::uint64_t load_eight(const char* at)
{
    std::uint64_t value = 0;
    std::memcpy(&value, at, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

constexpr bool is_lower_letter(char c) { return c >= 'a' && c <= 'z'; }

/// Whether `c` is `lower` in either case: a letter matches when it equals
/// `lower` with the 0x20 bit set, which only the letter and its capital do.
constexpr bool matches_folded(char c, char lower)
{
    return is_lower_letter(lower) ? (static_cast<unsigned char>(c) | 0x20U) == static_cast<unsigned char>(lower)
                                  : c == lower;
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

/// Position of the first byte in [from, end) that equals `wanted` once the
/// bits of `fold` are set in it, or not_found. Eight bytes at a time, with no
/// call: most lines searched are short, and there a call would cost more
/// than the search.
inline std::size_t find_first(std::string_view text, unsigned char wanted, unsigned char fold, std::size_t from,
                              std::size_t end)
{
    constexpr std::uint64_t ones = 0x0101010101010101U;
    const char* const data = text.data();
#if defined(__wasm_simd128__)
    // WebAssembly's memchr reads four bytes at a time, its vectors sixteen.
    if (end >= from + 16) {
        const v128_t fold_bits = wasm_i8x16_splat(static_cast<std::int8_t>(fold));
        const v128_t wanted_bytes = wasm_i8x16_splat(static_cast<std::int8_t>(wanted));
        for (std::size_t i = from;; i += 16) {
            i = std::min(i, end - 16);  // as below, the last block may overlap
            const v128_t block = wasm_v128_or(wasm_v128_load(data + i), fold_bits);
            const auto hits = static_cast<unsigned>(wasm_i8x16_bitmask(wasm_i8x16_eq(block, wanted_bytes)));
            if (hits != 0)
                return i + static_cast<std::size_t>(__builtin_ctz(hits));
            if (i + 16 == end)
                return not_found;
        }
    }
#endif
    // Over a longer span, memchr's vector loop saves more than its call costs.
    if (fold == 0 && end >= from + 32) {
        const void* hit = std::memchr(data + from, wanted, end - from);
        return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : not_found;
    }
    if (end >= from + 8) {
        for (std::size_t i = from;; i += 8) {
            // The last block may overlap the one before: its bytes there
            // are known not to match.
            i = std::min(i, end - 8);
            const std::uint64_t block = load_eight(data + i);
            const std::uint64_t zero_at_match = (block | (ones * fold)) ^ (ones * wanted);
            // The top bit of each byte that is 0. Then a step a byte to the
            // match: a branch the processor predicts ahead of it, where
            // computing the place from the bits would make each search wait
            // for the one before.
            if (((zero_at_match - ones) & ~zero_at_match & (ones * 0x80U)) != 0) {
                while ((static_cast<unsigned char>(data[i]) | fold) != wanted)
                    ++i;
                return i;
            }
            if (i + 8 == end)
                return not_found;
        }
    }
    for (std::size_t i = from; i < end; ++i)
        if ((static_cast<unsigned char>(data[i]) | fold) == wanted)
            return i;
    return not_found;
}

/// How many bytes of `text` are `byte`.
inline std::size_t count_byte(std::string_view text, char byte)
{
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__wasm_simd128__)
    // Sixteen at a time, where the compiler would go one by one.
    const v128_t wanted = wasm_i8x16_splat(static_cast<std::int8_t>(byte));
    for (; i + 16 <= text.size(); i += 16) {
        const auto hits = static_cast<unsigned>(wasm_i8x16_bitmask(wasm_i8x16_eq(wasm_v128_load(text.data() + i), wanted)));
        count += static_cast<std::size_t>(__builtin_popcount(hits));
    }
#endif
    for (; i < text.size(); ++i)
        count += text[i] == byte ? 1 : 0;
    return count;
}

/// Position of the first byte in [from, end) that is the letter `lower` in
/// either case, or not_found: one pass finds both cases, where memchr would
/// need one pass for each.
inline std::size_t find_letter(std::string_view text, char lower, std::size_t from, std::size_t end)
{
    return find_first(text, static_cast<unsigned char>(lower), 0x20U, from, end);
}

/// Up to eight bytes of a word, and the bits that folding may set in them
/// (0x20 in each letter), packed as `load_eight` packs the same bytes: a
/// candidate matches when its bytes with those bits set equal the word.
struct folded_pattern {
    std::uint64_t bytes = 0;
    std::uint64_t fold = 0;
};

/// The pattern of the first eight bytes of `word`, written in lower case.
constexpr folded_pattern fold_pattern(std::string_view word)
{
    folded_pattern pattern;
    for (std::size_t i = std::min<std::size_t>(word.size(), 8); i-- > 0;) {
        pattern.bytes = (pattern.bytes << 8) | static_cast<unsigned char>(word[i]);
        pattern.fold = (pattern.fold << 8) | (is_lower_letter(word[i]) ? 0x20U : 0U);
    }
    return pattern;
}

/// Whether the bytes of `text` just before `end` are `word` (written in lower
/// case) in any letter case; `pattern` is `fold_pattern` of its last eight
/// bytes, which one load checks first.
inline bool ends_with_folded(std::string_view text, std::size_t end, std::string_view word,
                             const folded_pattern& pattern)
{
    if (end < word.size() || word.empty())
        return false;
    if (end >= 8) {
        const std::size_t last = std::min<std::size_t>(word.size(), 8);
        const std::uint64_t block = load_eight(text.data() + end - 8);
        if (((block >> (8 * (8 - last))) | pattern.fold) != pattern.bytes)
            return false;
        if (word.size() <= 8)
            return true;
    }
    return equals_folded(text.substr(end - word.size(), word.size()), word);
}

/// Position of the first `word` (written in lower case, eight bytes at
/// most) in any letter case that lies within [from, end) of `text`, or
/// not_found. Candidates are found by the byte at `anchor`, a letter: the
/// rarer it is in the text searched, the fewer candidates to check.
template <const std::string_view& word, std::size_t anchor>
std::size_t find_folded(std::string_view text, std::size_t from, std::size_t end)
{
    static_assert(is_lower_letter(word[anchor]), "the anchor must be a letter");
    static_assert(word.size() <= 8, "one load checks a candidate");
    static constexpr folded_pattern pattern = fold_pattern(word);
    static constexpr std::uint64_t word_bytes = word.size() == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * word.size())) - 1;
    if (end < from + word.size())
        return not_found;
    const std::size_t anchor_end = end - word.size() + anchor + 1;  // past the last anchor byte
    for (std::size_t at = from + anchor; (at = find_letter(text, word[anchor], at, anchor_end)) != not_found; ++at) {
        const std::size_t start = at - anchor;
        // Eight bytes loaded whole, the word's masked: a narrower copy would
        // stall the load that reads it back.
        if (start + 8 <= text.size()) {
            const std::uint64_t candidate = load_eight(text.data() + start);
            if (((candidate & word_bytes) | pattern.fold) == pattern.bytes)
                return start;
        } else if (equals_folded(text.substr(start, word.size()), word)) {
            return start;
        }
    }
    return not_found;
}
