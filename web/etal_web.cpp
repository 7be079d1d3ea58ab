// The page's way in to the rule: its worker hands over a file in chunks, as
// bytes, and takes back the shortened bytes of each (and of the end) before
// the next, and a note of each list cut. The settings go through the command
// line's own checks. Nothing here decodes text, so every encoding passes as
// it is.

#include "command_line.h"
#include "line_loop.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// What a chunk, or the end, writes: taken by the worker before the next,
// so that the memory is used again rather than grown to the file's size.
// Its copies are made here, where they compile to WebAssembly's own
// memory.copy: the string's append goes through the C library's copy, four
// bytes at a time.
class text_output {
public:
    static constexpr bool line_by_line = false;  // no reader follows it

    void clear() { size_ = 0; }
    bool put(std::string_view written)
    {
        if (size_ + written.size() > capacity_)
            grow(std::max(size_ + written.size(), 2 * capacity_));
        std::memcpy(bytes_.get() + size_, written.data(), written.size());
        size_ += written.size();
        return true;
    }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    void grow(std::size_t capacity)
    {
        std::unique_ptr<char[]> bigger(new char[capacity]);  // not zeroed: every byte is written before it is read
        if (size_ > 0)
            std::memcpy(bigger.get(), bytes_.get(), size_);
        bytes_ = std::move(bigger);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The most bytes of a file the page takes on: it holds the shortened text
// until it is downloaded, and a browser gives a page about 2 GB. A larger
// file is refused at once, as too large for memory, rather than read first.
constexpr std::size_t most_held = std::size_t{1900} * 1000 * 1000;

// One file on its way through.
class page_run {
public:
    page_run(const list_rule& rule, std::size_t expected_size) : filter_(rule, cut_notes::with_text), loop_(filter_)
    {
        // The page holds the shortened file, seldom longer than the file,
        // until it is downloaded: past the most memory it has, it cannot.
        if (expected_size > most_held)
            throw std::bad_alloc();
    }

    void feed(std::string_view bytes)
    {
        output_.clear();
        loop_.feed(bytes, output_);
        take_cuts();
    }

    void finish()
    {
        output_.clear();
        loop_.finish(output_);
        take_cuts();
    }

    std::vector<char>& chunk() { return chunk_; }
    const text_output& output() const { return output_; }
    const std::string& cuts() const { return cuts_; }
    double lists_cut() const { return static_cast<double>(filter_.lists_cut()); }
    double lists_mended() const { return static_cast<double>(filter_.lists_mended()); }
    // Whether a line starts an entry: a file with none is no BibTeX database.
    bool found_entry() const { return filter_.entry_seen(); }

private:
    // "LINE\tKEY\tFIELD\tNAMES\tET_AL\tNOW\tBUILT\n" for each list cut or
    // mended (ET_AL, the name mended, and NOW, what it became, are empty for
    // a cut), for each last name left as it is though it holds "et al." (NOW
    // empty), and for each list over the count left whole, BUILT with a
    // macro or #: the facts -v tells.
    void take_cuts()
    {
        const auto untabbed = [](std::string text) {
            std::replace(text.begin(), text.end(), '\t', ' ');
            return text;
        };
        for (const list_cut& cut : filter_.take_cuts()) {
            cuts_.append(std::to_string(cut.line)).append("\t").append(untabbed(cut.key)).append("\t").append(cut.field);
            cuts_.append("\t").append(std::to_string(cut.names)).append("\t").append(untabbed(on_one_line(cut.et_al)));
            cuts_.append("\t").append(untabbed(on_one_line(cut.now))).append("\t").append(cut.built).append("\n");
        }
    }

    list_filter filter_;
    line_loop loop_;
    text_output output_;
    std::string cuts_;
    std::vector<char> chunk_;
};

std::unique_ptr<page_run> run;
std::string message;

// Which setting a command-line complaint is about: 1 the count, 2 the
// names kept, 3 the fields.
int setting_of(std::string_view complaint)
{
    const auto starts = [complaint](std::string_view start) { return complaint.substr(0, start.size()) == start; };
    if (starts("invalid count"))
        return 1;
    return starts("invalid keep") || starts("keep ") ? 2 : 3;
}

bool all_digits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

extern "C" {

/// Starts a file with the settings as typed (an empty count is the default,
/// an empty keep as many as the count): 0, or the setting that is wrong (1
/// count, 2 keep, 3 fields) with `etal_message` saying why, as the command
/// line says it.
EMSCRIPTEN_KEEPALIVE int etal_start(const char* count, const char* keep, const char* fields, double expected_size)
{
    run.reset();
    message.clear();
    const std::string_view count_text = count;
    // A command line reads "3x" as 3, and "x" as a file; a box holds a number.
    if (!count_text.empty() && !all_digits(count_text)) {
        message = "invalid count: " + std::string(count_text);
        return 1;
    }
    std::vector<std::string> args = {"etal", "--fields=" + std::string(fields)};
    if (*keep != '\0')
        args.push_back("--keep=" + std::string(keep));
    args.emplace_back("--");
    if (!count_text.empty())
        args.emplace_back(count_text);
    args.insert(args.end(), {"in.bib", "out.bib"});
    const command_line read = parse_command_line(args);
    if (!read.run) {
        message = read.text.substr(0, read.text.find('\n'));
        if (message.rfind("etal: ", 0) == 0)
            message.erase(0, 6);
        return setting_of(message);
    }
    run = std::make_unique<page_run>(read.run->rule,
                                     static_cast<std::size_t>(std::min(expected_size, static_cast<double>(SIZE_MAX))));
    return 0;
}

/// Room in the page's memory for the next `size` bytes of the file.
EMSCRIPTEN_KEEPALIVE char* etal_chunk(std::size_t size)
{
    run->chunk().resize(size);
    return run->chunk().data();
}

/// Feeds the first `size` bytes of the chunk.
EMSCRIPTEN_KEEPALIVE void etal_feed(std::size_t size) { run->feed(std::string_view(run->chunk().data(), size)); }

/// At the end of the file.
EMSCRIPTEN_KEEPALIVE void etal_finish()
{
    run->finish();
    run->chunk() = {};
}

/// What the last feed, or the finish, wrote.
EMSCRIPTEN_KEEPALIVE const char* etal_output() { return run->output().data(); }
EMSCRIPTEN_KEEPALIVE std::size_t etal_output_size() { return run->output().size(); }
EMSCRIPTEN_KEEPALIVE const char* etal_cuts() { return run->cuts().data(); }
EMSCRIPTEN_KEEPALIVE std::size_t etal_cuts_size() { return run->cuts().size(); }
EMSCRIPTEN_KEEPALIVE double etal_lists_cut() { return run->lists_cut(); }
EMSCRIPTEN_KEEPALIVE double etal_lists_mended() { return run->lists_mended(); }
EMSCRIPTEN_KEEPALIVE int etal_found_entry() { return run->found_entry() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE const char* etal_message() { return message.c_str(); }

/// Gives back the memory of the last file.
EMSCRIPTEN_KEEPALIVE void etal_end() { run.reset(); }
}
