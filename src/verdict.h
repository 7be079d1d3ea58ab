// The verdict on a listed value once it closes: kept, cut after the names a
// list keeps, or mended where its last name is "et al." written as a name
// or glued to the last person's; the spellings of "et al." that are mended;
// and what a cut writes in place of the names it drops. It reads text
// handed to it and holds none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Ends a shortened braced value: BibTeX's "others" closes the list, then the
/// value's brace. What followed the value's own close on its line (a comma
/// or none, blanks, the CR of a CRLF line) follows it unchanged.
inline constexpr std::string_view others_tail = "others }";

/// Ends a shortened value written between double quotes.
inline constexpr std::string_view quoted_others_tail = "others\"";

/// What becomes of a closed value.
enum class verdict {
    keep,
    cut,
    mend,
    /// kept, though its last name holds "et al." where no rule can tell
    /// the person apart: a note says to fix it by hand
    keep_with_note,
};

/// How a name, with the spaces around it, reads against "et al." written as
/// a name, which styles print as a person where they print "et al." only for
/// `others`. `partial`: it may still be, should more text follow.
enum class et_al_match { blank, no, partial, whole, others };

struct et_al_reading {
    et_al_match match = et_al_match::no;
    std::size_t from = 0;  // when whole: the name's bytes, without the spaces around it
    std::size_t to = 0;
};

/// Reads `text` as a name that may be "et al." written as a name: `et al.`
/// or `Al., Et` in any letter case, with or without their full stops and
/// with any spaces or ties between, within one pair of braces or none; and
/// `others` itself when braced or in another letter case.
et_al_reading read_et_al(std::string_view text);

/// The verdict. For a mend, the bytes [from, to) of the text judged that
/// change (see `mended_text`); for a note, the name [from, to) that holds
/// "et al.".
struct judgement {
    verdict made = verdict::keep;
    std::size_t from = 0;
    std::size_t to = 0;
    /// For a mend of "et al." glued to a name, the person's bytes in the
    /// text judged, which " and others" follows; else empty.
    std::size_t person_from = 0;
    std::size_t person_to = 0;
    /// 1 where the last name holds "et al.", which a mend makes a name of
    /// its own: the list is judged with it.
    std::int64_t names_added = 0;
};

/// What the bytes a mend changes in `text`, the text judged, become:
/// "others", or the person and " and others".
std::string mended_text(std::string_view text, const judgement& made);

/// The verdict on a list over the count, whose names after the cut are
/// `names`, up to its close. Names after the cut that are "others" alone
/// already read as a cut list, and those that are only "et al." written as
/// a name are mended, not cut.
judgement judge_over(std::string_view names);

/// The verdict on a list of `names` names, not over the `limit`, whose last
/// name is `last`, up to its close; a cut list keeps `keep`. "et al."
/// written as a name after another is mended to "others". "et al." glued to
/// the last person's name (`J. Grue et al.`, `Krzywinski, Martin, et al.`,
/// `Bionta, \textit{et al.}`) or before a comma (`Et al., Ziminsky`) makes
/// it the person `and others`, a list judged so: cut if it is then over the
/// limit with more than `others` after the names kept. With `noting`, a name
/// that holds "et al." otherwise is kept with a note.
judgement judge_last(std::string_view last, std::int64_t names, std::int64_t limit, std::int64_t keep, bool noting);

/// Whether `last`, a list's last name, holds "et al." where `judge_last`
/// would make a name of its own of it.
bool holds_glued_et_al(std::string_view last);

/// Whether `name` holds "et al." among its words: `et` after no letter, a
/// full stop or spaces or ties (or both), `al` before no letter; or ends
/// in 等 or 等人.
bool holds_et_al(std::string_view name);

