// Where a list stands in the file, for the notes that tell of it: the line
// its value opens on, its entry's key, its field as written. Lines are
// counted, and keys found, only when a note needs them: within a piece of
// whole lines, from where the last note left off, and at the piece's end,
// so that most lines of a file are never looked at for it.
#pragma once

#include "bibtex_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// A list that the rule cuts, or mends, as told by a filter that notes them.
struct list_cut {
    std::uint64_t line = 0;  // where its value opens, from 1
    std::string key;         // of its entry, or "?" where there is none
    std::string field;       // the field's name as written
    std::int64_t names = 0;  // in the whole value
    /// For a list mended rather than cut: its last name that was mended,
    /// byte for byte, and `now`, what it became: "others" for "et al."
    /// written as a name (`et al.`, `Al., Et`, `{others}`), "PERSON and
    /// others" for a name that held it (`J. Grue et al.`). For a list kept
    /// though its last name holds "et al." where no rule can tell the person
    /// apart (`C. et. al.~Fabricius`), that name, and `now` empty. Both
    /// empty for a cut.
    std::string et_al;
    std::string now;
    /// For a list BibTeX reads as more names than the count, built where
    /// the rule cannot cut it: how it is written ("the macro GoF", "joined
    /// with #"). Empty otherwise.
    std::string built;
};

class file_position {
public:
    /// The lines handed over until `end_piece` are those of `lines` (whole
    /// lines, each ending in its line feed), in order.
    void begin_piece(std::string_view lines);

    /// The piece is done with: what is still needed of it (the place of a
    /// value left open, `value_open`) is found, and the rest counted.
    void end_piece(bool value_open);

    /// The next line (without its line feed): within a piece, only marked;
    /// outside one, counted, and its entry's key noted.
    void at_line(std::string_view line)
    {
        if (piece_.data() != nullptr)
            line_ = line;
        else
            note_line(line);
    }

    /// A listed value opens at `open` on the line last handed over.
    void value_opens(std::string_view line, std::size_t open);

    /// The value that opened last is mended, or noted for a name that holds
    /// "et al.": its last name as written, and what it becomes.
    void mended(std::string_view et_al, std::string_view now)
    {
        value_.et_al = et_al;
        value_.now = now;
    }

    /// Adds to `cuts` the note of the value that opened last, now that it is
    /// cut or mended, with `names` in all.
    void note(std::vector<list_cut>& cuts, std::int64_t names);

    /// Adds to `cuts` the note of the value that opened last, left whole
    /// though it holds `names`, being `built` as a macro or with `#`.
    void left_long(std::vector<list_cut>& cuts, std::int64_t names, std::string built);

    /// Adds to `cuts` a note of `name`, a name of the value that opened last
    /// that holds "et al.", with `names` in all; the value may be noted too.
    void note_name(std::vector<list_cut>& cuts, std::string_view name, std::int64_t names);

    /// Whether an entry has started so far, as of the end of the last piece:
    /// a line whose first byte, after blanks (and a byte order mark before
    /// the first line), is `@`.
    bool entry_seen() const { return !key_.empty(); }

private:
    void note_line(std::string_view line);
    std::uint64_t number_of(const char* line);
    void find_entry_before(const char* line);
    void place_value();

    // The lines counted so far, and the key of the entry last started (empty
    // before any); within a piece, as of `counted_to_` and `keyed_to_`.
    std::uint64_t line_number_ = 0;
    std::string key_;
    std::string_view piece_;           // the piece handed over, if any
    bool piece_starts_input_ = false;  // its first line may begin with a byte order mark
    const char* counted_to_ = nullptr;
    const char* keyed_to_ = nullptr;
    std::string_view line_;            // the line handed over last, in the piece
    std::string_view value_line_;      // where the open value opened, in the piece, until placed
    std::size_t value_open_ = 0;       // where on that line
    list_cut value_;                   // where the open value stands
};
