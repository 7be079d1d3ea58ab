#include "value_reader.h"

#include <algorithm>
#include <cstring>

void value_reader::start(char delimiter, std::size_t first)
{
    open_ = true;
    delimiter_ = delimiter;
    nested_ = 0;
    separators_ = 0;
    matched_ = 0;
    copying_ = false;
    name_from_ = first;
}

void value_reader::goes_on(std::size_t at, std::size_t& cut_here)
{
    if (name_from_ != not_found)
        name_from_ = 0;  // nothing but blanks since the separator or the opening
    if (counting_separators() && completes_separator(' ', matched_))
        note_separator(at, cut_here);
}

// Counts a separator that ends just before `after`: the `keep`-th sets the
// cut there.
void value_reader::note_separator(std::size_t after, std::size_t& cut)
{
    name_from_ = after;
    if (++separators_ == keep_)
        cut = after;
}

// What changes where the value stands are its braces and, in a quoted value,
// its quotes; a separator counts only at its top level, and separators never
// overlap. Sixteen bytes at a time where there are vectors: all braces,
// quotes and separators of a block are found at once.
value_end value_reader::read(std::string_view line, std::size_t& at, std::size_t& cut_here)
{
    // A final CR belongs to the line end, which reads as a space; a value
    // that closes on the line closes before it.
    const std::size_t end = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
    const bool quoted = delimiter_ == '"';
    std::size_t i = at;  // where the next separator may start
    // A separator begun on the line before ends byte by byte.
    if (counting_separators()) {
        while (matched_ != 0 && i < end && line[i] != '{' && line[i] != '}' && !(quoted && line[i] == '"')) {
            ++i;
            if (completes_separator(line[i - 1], matched_))
                note_separator(i, cut_here);
        }
    }
    // What a brace or quote at `p` does; true when the value ends there.
    value_end ends = value_end::line_end;
    const auto meet = [&](std::size_t p) {
        i = p + 1;
        matched_ = 0;
        const char c = line[p];
        if (c == '{')
            ++nested_;
        else if (c == '}' && nested_ > 0)
            --nested_;
        else if (c == '}' && quoted)
            ends = value_end::malformed;  // a stray `}`: BibTeX rejects the value
        else if (!(c == '"' && nested_ > 0))  // a quote in braces is text
            ends = value_end::closed;
        if (ends == value_end::line_end)
            return false;
        at = p;
        return true;
    };
    const auto is_separator_at = [&](std::size_t p) {
        return p >= i && counting_separators() && p + author_separator.size() <= end &&
               starts_separator(line.substr(p, author_separator.size()));
    };
    std::size_t p = i;
#if defined(ETAL_VECTORS)
    static const vectors::folded_word<author_separator> separator;
    constexpr std::size_t reach = author_separator.size() - 1;  // read past a block
    const vectors::bytes opening = vectors::splat('{');
    const vectors::bytes closing = vectors::splat('}');
    // In a braced value a quote is text: the opening brace, sought already,
    // stands in for it.
    const vectors::bytes quote = vectors::splat(quoted ? '"' : '{');
    // The block of sixteen bytes from `b`, whose bytes, and `reach` more,
    // are at `bytes`; true when the value ends in it.
    const auto go_through = [&](const char* bytes, std::size_t b) {
        const vectors::bytes block = vectors::load(bytes);
        vectors::lanes met = vectors::lanes_of(vectors::either(
            vectors::either(vectors::same(block, opening), vectors::same(block, closing)), vectors::same(block, quote)));
        met &= vectors::first_lanes(end - b);
        vectors::lanes starts = 0;
        if (separators_ < count_to_ && !copying_ && end - b > reach)
            starts = separator.starts(bytes) & vectors::first_lanes(end - b - reach) &
                     ~vectors::first_lanes(std::max(i, b) - b);
        // Most blocks of a long list: separators, at its top level, none
        // overlapping, none the cut nor the last counted: counted at once.
        if (met == 0 && starts != 0 && nested_ == 0 && (starts & (starts >> (4 * vectors::lane_bits))) == 0) {
            const auto counted = static_cast<std::int64_t>(vectors::count_lanes(starts));
            if (separators_ + counted < count_to_ && !(separators_ < keep_ && separators_ + counted >= keep_)) {
                separators_ += counted;
                i = b + static_cast<std::size_t>(63 - __builtin_clzll(starts)) / vectors::lane_bits + reach + 1;
                name_from_ = i;
                return false;
            }
        }
        for (met |= starts; met != 0; met = vectors::drop_first_lane(met)) {
            const std::size_t q = b + vectors::first_lane(met);
            if (!is_blank(line[q])) {
                if (meet(q))
                    return true;
            } else if (q >= i && counting_separators()) {
                i = q + author_separator.size();
                note_separator(i, cut_here);
            }
        }
        return false;
    };
    for (; p < end && p + 16 + reach <= line.size(); p += 16)
        if (go_through(line.data() + p, p))
            return ends;
    if (p < end) {
        // The last bytes of the line, in blocks of their own, with NULs past
        // them: a NUL matches nothing sought.
        char rest[std::size_t{2} * 16 + reach] = {};
        std::memcpy(rest, line.data() + p, line.size() - p);
        for (std::size_t r = 0; p + r < end; r += 16)
            if (go_through(rest + r, p + r))
                return ends;
        p = end;
    }
#endif
    for (p = std::max(p, i); p < end; ++p) {
        const char c = line[p];
        if (c == '{' || c == '}' || (quoted && c == '"')) {
            if (meet(p))
                return ends;
        } else if (is_blank(c) && is_separator_at(p)) {
            i = p + author_separator.size();
            note_separator(i, cut_here);
            p = i - 1;
        }
    }
    at = end;
    if (counting_separators() && matched_ == 0)
        matched_ = partial_separator(line.substr(i, end - i));
    return value_end::line_end;
}
