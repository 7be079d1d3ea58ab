// The byte searches every part of etal runs on: a byte first or last in a
// span, how often one occurs, words by their ends or whole in any letter
// case. Sixteen bytes at a time in the machine's vectors where it has them
// (SSE2, NEON, WebAssembly's), eight in an integer elsewhere, to the same
// results. Letter case is folded for A to Z and nothing else, whatever the
// locale, so that a file gives the same result on every machine; every
// other byte, 8-bit ones included, matches itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#define ETAL_VECTORS 1
#elif defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#define ETAL_VECTORS 1
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#define ETAL_VECTORS 1
#endif

inline constexpr std::size_t not_found = std::string_view::npos;

constexpr bool is_lower_letter(char c) { return c >= 'a' && c <= 'z'; }

#if defined(ETAL_VECTORS)
/// Sixteen bytes at a time, where the machine has vectors of them: SSE2 (on
/// every x86-64), NEON (on 64-bit ARM) and WebAssembly's 128-bit vectors.
/// Elsewhere (IBM Z, 32-bit x86 without SSE2) the searches below go eight
/// bytes at a time in an integer, to the same results.
namespace vectors {

/// Which of sixteen bytes something holds for: a set bit for each, the
/// first byte's lowest, `lane_bits` apart.
using lanes = std::uint64_t;

#if defined(__SSE2__)
using bytes = __m128i;
inline constexpr unsigned lane_bits = 1;
inline bytes load(const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline bytes splat(unsigned char c) { return _mm_set1_epi8(static_cast<char>(c)); }
inline bytes either(bytes a, bytes b) { return _mm_or_si128(a, b); }
inline bytes both(bytes a, bytes b) { return _mm_and_si128(a, b); }
inline bytes same(bytes a, bytes b) { return _mm_cmpeq_epi8(a, b); }
inline lanes lanes_of(bytes all_or_none) { return static_cast<unsigned>(_mm_movemask_epi8(all_or_none)); }
inline bytes count_in(bytes counts, bytes all_or_none) { return _mm_sub_epi8(counts, all_or_none); }
inline std::size_t total(bytes counts)
{
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
}
#elif defined(__aarch64__)
using bytes = uint8x16_t;
inline constexpr unsigned lane_bits = 4;
inline bytes load(const char* at) { return vld1q_u8(reinterpret_cast<const std::uint8_t*>(at)); }
inline bytes splat(unsigned char c) { return vdupq_n_u8(c); }
inline bytes either(bytes a, bytes b) { return vorrq_u8(a, b); }
inline bytes both(bytes a, bytes b) { return vandq_u8(a, b); }
inline bytes same(bytes a, bytes b) { return vceqq_u8(a, b); }
// NEON has no byte mask: four bits a byte, narrowed from each pair of bytes,
// of which one is kept.
inline lanes lanes_of(bytes all_or_none)
{
    const uint8x8_t narrowed = vshrn_n_u16(vreinterpretq_u16_u8(all_or_none), 4);
    return vget_lane_u64(vreinterpret_u64_u8(narrowed), 0) & 0x1111111111111111U;
}
inline bytes count_in(bytes counts, bytes all_or_none) { return vsubq_u8(counts, all_or_none); }
inline std::size_t total(bytes counts) { return vaddlvq_u8(counts); }
#else
using bytes = v128_t;
inline constexpr unsigned lane_bits = 1;
inline bytes load(const char* at) { return wasm_v128_load(at); }
inline bytes splat(unsigned char c) { return wasm_i8x16_splat(static_cast<std::int8_t>(c)); }
inline bytes either(bytes a, bytes b) { return wasm_v128_or(a, b); }
inline bytes both(bytes a, bytes b) { return wasm_v128_and(a, b); }
inline bytes same(bytes a, bytes b) { return wasm_i8x16_eq(a, b); }
inline lanes lanes_of(bytes all_or_none) { return static_cast<unsigned>(wasm_i8x16_bitmask(all_or_none)); }
inline bytes count_in(bytes counts, bytes all_or_none) { return wasm_i8x16_sub(counts, all_or_none); }
// Once for many blocks: the sixteen counts added one by one.
inline std::size_t total(bytes counts)
{
    unsigned char each[16];
    wasm_v128_store(each, counts);
    std::size_t sum = 0;
    for (const unsigned char count : each)
        sum += count;
    return sum;
}
#endif

// Counts of `count_in`, one a byte, before they overflow.
inline constexpr std::size_t most_counts = 255;

/// The byte of the first lane set in `set`, which is not 0.
inline std::size_t first_lane(lanes set) { return static_cast<std::size_t>(__builtin_ctzll(set)) / lane_bits; }

/// `set` without its first lane.
inline lanes drop_first_lane(lanes set) { return set & (set - 1); }

/// How many lanes are set.
inline std::size_t count_lanes(lanes set)
{
#if defined(__SSE2__) && !defined(__POPCNT__)
    // Sixteen bits at most, and no instruction to count them: a byte at a
    // time, from a table.
    struct byte_counts {
        unsigned char of[256] = {};
        constexpr byte_counts()
        {
            for (unsigned byte = 1; byte < 256; ++byte)
                of[byte] = static_cast<unsigned char>(of[byte >> 1] + (byte & 1U));
        }
    };
    static constexpr byte_counts counts;
    return std::size_t{counts.of[set & 0xFFU]} + counts.of[(set >> 8) & 0xFFU];
#else
    return static_cast<std::size_t>(__builtin_popcountll(set));
#endif
}

/// The lanes of the first `count` bytes (up to sixteen).
inline lanes first_lanes(std::size_t count)
{
    return count >= 16 ? ~lanes{0} : (lanes{1} << (count * lane_bits)) - 1;
}

/// A byte sought in any letter case: `wanted` once the bits of `fold` are
/// set, each made a vector once, for the many blocks searched.
struct folded_byte {
    bytes wanted;
    bytes fold;
    folded_byte() = default;
    folded_byte(unsigned char wanted_byte, unsigned char fold_bits) : wanted(splat(wanted_byte)), fold(splat(fold_bits)) {}
    /// Where the sixteen bytes of `block` are it.
    bytes in(bytes block) const { return same(either(block, fold), wanted); }
};

/// A word (written in lower case) sought in any letter case at sixteen
/// places at a time; a space in it stands for a space or a tab.
template <const std::string_view& word>
class folded_word {
public:
    folded_word()
    {
        for (std::size_t k = 0; k < word.size(); ++k)
            bytes_[k] = splat(static_cast<unsigned char>(word[k]));
        fold_ = splat(0x20U);
        tab_ = splat('\t');
    }
    /// Where the word starts at the sixteen places from `at`; reads
    /// `word.size() - 1` bytes past them.
    lanes starts(const char* at) const { return lanes_of(from(at, std::make_index_sequence<word.size()>())); }

private:
    template <std::size_t... k>
    bytes from(const char* at, std::index_sequence<k...> /*each byte*/) const
    {
        bytes found = same(fold_, fold_);  // all set
        ((found = both(found, is_at<k>(at + k))), ...);
        return found;
    }
    // Only a letter is folded: a NUL folded would be a space.
    template <std::size_t k>
    bytes is_at(const char* at) const
    {
        const bytes here = load(at);
        if constexpr (word[k] == ' ')
            return either(same(here, bytes_[k]), same(here, tab_));
        return same(is_lower_letter(word[k]) ? either(here, fold_) : here, bytes_[k]);
    }

    bytes bytes_[word.size()];
    bytes fold_;
    bytes tab_;
};

}  // namespace vectors
#endif

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

/// Position of the first byte in [from, end) that is `wanted`, or not_found.
/// With no call: most lines searched are short, and there a call would cost
/// more than the search.
inline std::size_t find_first(std::string_view text, char wanted, std::size_t from, std::size_t end)
{
    constexpr std::uint64_t ones = 0x0101010101010101U;
    const char* const data = text.data();
#if !defined(__wasm_simd128__)
    // Over a longer span, the C library's search goes further at a time
    // than sixteen bytes, and saves more than its call costs; WebAssembly's
    // goes four.
    if (end >= from + 32) {
        const void* hit = std::memchr(data + from, wanted, end - from);
        return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : not_found;
    }
#endif
#if defined(ETAL_VECTORS)
    if (end >= from + 16) {
        const vectors::bytes sought = vectors::splat(static_cast<unsigned char>(wanted));
        for (std::size_t i = from;; i += 16) {
            i = std::min(i, end - 16);  // as below, the last block may overlap
            const vectors::lanes hits = vectors::lanes_of(vectors::same(vectors::load(data + i), sought));
            if (hits != 0)
                return i + vectors::first_lane(hits);
            if (i + 16 == end)
                return not_found;
        }
    }
#endif
    if (end >= from + 8) {
        for (std::size_t i = from;; i += 8) {
            // The last block may overlap the one before: its bytes there
            // are known not to match.
            i = std::min(i, end - 8);
            const std::uint64_t zero_at_match = load_eight(data + i) ^ (ones * static_cast<unsigned char>(wanted));
            // The top bit of each byte that is 0. Then a step a byte to the
            // match: a branch the processor predicts ahead of it, where
            // computing the place from the bits would make each search wait
            // for the one before.
            if (((zero_at_match - ones) & ~zero_at_match & (ones * 0x80U)) != 0) {
                while (data[i] != wanted)
                    ++i;
                return i;
            }
            if (i + 8 == end)
                return not_found;
        }
    }
    for (std::size_t i = from; i < end; ++i)
        if (data[i] == wanted)
            return i;
    return not_found;
}

/// Position of the last byte in [from, end) that is `wanted`, or not_found.
inline std::size_t find_last(std::string_view text, char wanted, std::size_t from, std::size_t end)
{
#if defined(ETAL_VECTORS)
    const vectors::bytes sought = vectors::splat(static_cast<unsigned char>(wanted));
    for (; end >= from + 16; end -= 16) {
        const vectors::lanes hits = vectors::lanes_of(vectors::same(vectors::load(text.data() + end - 16), sought));
        if (hits != 0)
            return end - 16 + static_cast<std::size_t>(63 - __builtin_clzll(hits)) / vectors::lane_bits;
    }
#endif
    while (end > from)
        if (text[--end] == wanted)
            return end;
    return not_found;
}

/// How many bytes of `text` are `wanted`.
inline std::size_t count_byte(std::string_view text, char wanted)
{
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(ETAL_VECTORS)
    // A count a byte in a vector, four blocks at a time, summed before it
    // can overflow.
    const vectors::bytes each = vectors::splat(static_cast<unsigned char>(wanted));
    const char* const data = text.data();
    while (i + 64 <= text.size()) {
        vectors::bytes counts = vectors::splat(0);
        for (std::size_t n = 0; n < vectors::most_counts / 4 && i + 64 <= text.size(); ++n, i += 64)
            for (std::size_t block = 0; block < 64; block += 16)
                counts = vectors::count_in(counts, vectors::same(vectors::load(data + i + block), each));
        count += vectors::total(counts);
    }
    for (; i + 16 <= text.size(); i += 16)
        count += vectors::total(vectors::count_in(vectors::splat(0), vectors::same(vectors::load(data + i), each)));
#endif
    for (; i < text.size(); ++i)
        count += text[i] == wanted ? 1 : 0;
    return count;
}

/// Position of the first place in `text` from `from` where the letters
/// `first` and then `second` (written in lower case) stand, in any letter
/// case; or not_found. Sixteen places at a time where there are vectors,
/// seven in an integer over a short text.
inline std::size_t find_letter_pair(std::string_view text, std::size_t from, char first, char second)
{
    const char* const data = text.data();
    const auto at = [data, first, second](std::size_t i) {
        return (static_cast<unsigned char>(data[i]) | 0x20U) == static_cast<unsigned char>(first) &&
               (static_cast<unsigned char>(data[i + 1]) | 0x20U) == static_cast<unsigned char>(second);
    };
#if defined(ETAL_VECTORS)
    if (text.size() >= from + 17) {
        const vectors::folded_byte firsts(static_cast<unsigned char>(first), 0x20U);
        const vectors::folded_byte seconds(static_cast<unsigned char>(second), 0x20U);
        for (std::size_t i = from;; i += 16) {
            // The last block may overlap the one before: its places there
            // are known to hold none.
            i = std::min(i, text.size() - 17);
            const vectors::lanes hits = vectors::lanes_of(
                vectors::both(firsts.in(vectors::load(data + i)), seconds.in(vectors::load(data + i + 1))));
            if (hits != 0)
                return i + vectors::first_lane(hits);
            if (i + 17 == text.size())
                return not_found;
        }
    }
#endif
    constexpr std::uint64_t ones = 0x0101010101010101U;
    constexpr std::uint64_t high = ones * 0x80U;
    if (text.size() >= from + 8) {
        // Eight bytes, seven places, a step: where both letters may stand
        // (the test may say so where they do not, never the other way), a
        // byte at a time.
        for (std::size_t i = from;; i += 7) {
            i = std::min(i, text.size() - 8);
            const std::uint64_t folded = load_eight(data + i) | (ones * 0x20U);
            const std::uint64_t firsts = folded ^ (ones * static_cast<unsigned char>(first));
            const std::uint64_t seconds = folded ^ (ones * static_cast<unsigned char>(second));
            const std::uint64_t may = ((firsts - ones) & ~firsts & high) & (((seconds - ones) & ~seconds & high) >> 8);
            for (std::size_t j = i; may != 0 && j < i + 7; ++j)
                if (at(j))
                    return j;
            if (i + 8 == text.size())
                return not_found;
        }
    }
    for (std::size_t i = from; i + 1 < text.size(); ++i)
        if (at(i))
            return i;
    return not_found;
}

/// Words sought by their first and last bytes, in any letter case: where
/// both stand, one of them may. Made once, for many searches.
class word_ends_search {
public:
    word_ends_search() = default;

    /// `words` written in lower case, none empty.
    template <class Words>
    explicit word_ends_search(const Words& words)
    {
        const auto fold = [](char c) { return static_cast<unsigned char>(is_lower_letter(c) ? 0x20U : 0U); };
        for (const std::string_view each : words) {
            ends_.push_back({static_cast<unsigned char>(each.front()), fold(each.front()),
                             static_cast<unsigned char>(each.back()), fold(each.back()), each.size() - 1});
            reach_ = std::max(reach_, each.size() - 1);
#if defined(ETAL_VECTORS)
            firsts_.emplace_back(ends_.back().first, ends_.back().first_fold);
            lasts_.emplace_back(ends_.back().last, ends_.back().last_fold);
#endif
        }
    }

    /// Position of the first byte in [from, end) at which one of the words
    /// may start: its first byte there, and its last within [from, end);
    /// or not_found. Sixteen places at a time where there are vectors.
    std::size_t find(std::string_view text, std::size_t from, std::size_t end) const
    {
        if (ends_.empty() || end < from + reach_ + 1)
            return not_found;
        const std::size_t last_start = end - reach_;  // past the last place a word may start
        std::size_t i = from;
#if defined(ETAL_VECTORS)
        const char* const data = text.data();
        const auto found_at = [this, data](std::size_t at) {
            const vectors::bytes here = vectors::load(data + at);
            vectors::bytes found =
                vectors::both(firsts_[0].in(here), lasts_[0].in(vectors::load(data + at + ends_[0].distance)));
            for (std::size_t w = 1; w < ends_.size(); ++w)
                found = vectors::either(found, vectors::both(firsts_[w].in(here),
                                                             lasts_[w].in(vectors::load(data + at + ends_[w].distance))));
            return found;
        };
        if (last_start >= from + 16) {
            // Four blocks a step, looked at together; then the one that holds a place.
            for (; i + 64 <= last_start; i += 64) {
                const vectors::bytes any = vectors::either(vectors::either(found_at(i), found_at(i + 16)),
                                                           vectors::either(found_at(i + 32), found_at(i + 48)));
                if (vectors::lanes_of(any) != 0)
                    break;
            }
            for (;; i += 16) {
                // The last block may overlap the one before: its places there
                // are known to hold none.
                const std::size_t at = std::min(i, last_start - 16);
                const vectors::lanes hits = vectors::lanes_of(found_at(at));
                if (hits != 0)
                    return at + vectors::first_lane(hits);
                if (at + 16 == last_start)
                    return not_found;
            }
        }
#endif
        for (; i < last_start; ++i)
            for (const ends& word : ends_)
                if (i + word.distance < end && (static_cast<unsigned char>(text[i]) | word.first_fold) == word.first &&
                    (static_cast<unsigned char>(text[i + word.distance]) | word.last_fold) == word.last)
                    return i;
        return not_found;
    }

private:
    struct ends {
        unsigned char first;
        unsigned char first_fold;  // 0x20 for a letter, else 0
        unsigned char last;
        unsigned char last_fold;
        std::size_t distance;  // from the first byte to the last
    };
    std::vector<ends> ends_;
    std::size_t reach_ = 0;  // the longest distance
#if defined(ETAL_VECTORS)
    std::vector<vectors::folded_byte> firsts_;
    std::vector<vectors::folded_byte> lasts_;
#endif
};

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
