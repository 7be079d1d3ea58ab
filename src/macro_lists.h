// Lists that BibTeX builds where the rule cannot cut them: a listed field
// whose value is a @string macro (`author = GoF`) or joins parts with `#`
// (`{...} # and # Hottung_A`). The bytes stay; a run that notes its lists
// tells of each that BibTeX reads as more names than the count. To count
// them, each macro defined so far in the file is kept as what counting needs
// of its text, never the text itself: its separators and its first and last
// bytes, where a separator may cross a `#`.
#pragma once

#include "bibtex_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

/// What counting names needs of a text as BibTeX reads it.
struct counted_text {
    /// A text of at most this many bytes is kept whole, in `head`.
    static constexpr std::size_t edge = 16;
    std::int64_t separators = 0;  // at its top level
    std::int64_t head_separators = 0;  // of `head` read alone
    std::uint64_t length = 0;
    std::string head;  // its first `edge` bytes, or all of it
    std::string tail;  // its last `edge` bytes, when longer than `head`
};

/// Counts the separators of a text fed to it byte by byte, and of macros'
/// texts fed whole, as one text.
class name_counter {
public:
    void feed(char c);
    void feed(const counted_text& macro);
    /// Where a part of the value ends and the next begins: braces opened
    /// in one close in it.
    void part_ends() { depth_ = 0; }
    /// The text fed so far holds `separators` in all: it was read elsewhere,
    /// and only its last bytes were fed.
    void counted_before(std::int64_t separators) { counted_.separators = separators; }

    std::int64_t names() const { return counted_.separators + 1; }
    std::int64_t separators() const { return counted_.separators; }
    /// Whether the last name is BibTeX's "others" after a separator.
    bool ends_in_others() const;
    /// What is counted so far, as a macro's text.
    counted_text text() const;

private:
    counted_text counted_;
    std::string last_;      // the last `edge` bytes fed
    std::size_t depth_ = 0;
    std::size_t matched_ = 0;  // bytes of a separator matched so far
};

/// A value, or a macro's definition, read as BibTeX reads it: parts joined
/// by `#`, each braced, quoted, a number or a macro's name.
class macro_lists {
public:
    /// Whether an expression goes on past the last line handed over.
    bool open() const { return state_ != state::closed; }

    /// Whether `line` starts a @string definition, which `define` reads.
    /// Asked of every line while noting: most hold no `@` at all.
    static bool defines(std::string_view line)
    {
        return std::memchr(line.data(), '@', line.size()) != nullptr && starts_definition(line);
    }

    /// How much of `lines` (whole lines) comes before the first line that
    /// starts with a @string: all of it when none does.
    static std::size_t lines_before_definition(std::string_view lines);

    /// Reads the @string definition that `line` starts with: the macro is
    /// known once its value closes, on this line or a later one. Where the
    /// definition's value ends on the line, or not_found when it goes on.
    std::size_t define(std::string_view line);

    /// A listed field's value starts at `at` with a macro's name or a
    /// number; where it ends on the line, or not_found when it goes on.
    std::size_t value_starts(std::string_view line, std::size_t at);

    /// A listed field's braced or quoted value closed just before `at`,
    /// with `separators` counted and `tail` its last bytes, and `#` follows:
    /// read on as `value_starts`.
    std::size_t joined_after(std::int64_t separators, std::string_view tail, std::string_view line, std::size_t at);

    /// The next line, while open: where the expression ends on it, or
    /// not_found when it goes on still. A line that starts an entry ends it
    /// unread, as for a value that never closes.
    std::size_t goes_on(std::string_view line);

    /// Once a field's value has ended: whether it was read whole, the
    /// names BibTeX reads in it, whether the last is "others", and how it is
    /// written ("the macro GoF", or "joined with #").
    bool field_ended() const { return field_ended_; }
    std::int64_t names() const { return counter_.names(); }
    bool ends_in_others() const { return counter_.ends_in_others(); }
    std::string written_as() const;
    void forget_field() { field_ended_ = false; }

private:
    enum class state { closed, before_part, in_braces, in_quotes, in_name, after_part };

    static bool starts_definition(std::string_view line);

    std::size_t read(std::string_view line, std::size_t at);
    void end_name();
    void end_expression(bool whole);

    state state_ = state::closed;
    bool defining_ = false;
    std::string defined_;     // the macro being defined, folded
    std::string name_;        // the macro's name being read, folded
    std::string first_name_;  // as written, of a value of one macro alone
    std::size_t parts_ = 0;
    std::size_t depth_ = 0;   // braces open in the part
    name_counter counter_;
    bool field_ended_ = false;
    std::unordered_map<std::string, counted_text> macros_;
};
