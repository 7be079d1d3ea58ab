// etal: cut the long name lists of BibTeX databases to their first names
// and "others". Three forms (see command_line.h): INPUT to OUTPUT, each FILE
// in place, or a check of each FILE. For each file the recipe is the same:
// open it, filter its lines through the rule, and finish it (close it, or
// put the new file in its place).
//
// Exit status: 0 on success; 1 when a file could not be handled, or when a
// check finds a list over the rule; 2 for a wrong command line, or when a
// check could not read a file. Every failure prints one line on stderr.
//
// From INPUT to OUTPUT, each output line goes out in one write as soon as
// the rule has judged it, before the next input line is handled, so a reader
// following OUTPUT sees whole lines, and a run that fails or is killed leaves
// exactly the lines written so far. Only the lines of a list being cut or
// mended wait, within a fixed bound, for the list to close. A file rewritten in place, or
// only checked, has no reader to wait for: it is written in large blocks.

#include "author_list.h"
#include "command_line.h"
#include "files.h"
#include "line_loop.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int exit_failure = 1;
constexpr int check_trouble = 2;

// Large enough that reading costs little next to the write per line, small
// enough that memory stays flat however large the file. Blocks written in
// place are of the same size.
constexpr std::size_t block_size = std::size_t{256} * 1024;

void report(std::string_view subject, std::string_view reason)
{
    write_error(std::string("etal: ").append(subject).append(": ").append(reason).append("\n"));
}

void report_errno(std::string_view subject, int error) { report(subject, error_text(error)); }

// What messages call a path: "-" is a standard stream.
std::string input_name(const std::string& path) { return path == standard_stream ? "standard input" : path; }
std::string output_name(const std::string& path) { return path == standard_stream ? "standard output" : path; }

// A run that tells of its cuts has the rule note them.
cut_notes notes_told(const filter_options& options) { return options.verbose ? cut_notes::with_text : cut_notes::none; }

// Each piece written at once, in one write.
class line_writer {
public:
    static constexpr bool line_by_line = true;
    line_writer(int file, std::string name) : file_(file), name_(std::move(name)) {}
    bool put(std::string_view text)
    {
        if (write_all(file_, text))
            return true;
        report_errno(name_, errno);
        return false;
    }

private:
    int file_;
    std::string name_;
};

// Pieces gathered into large blocks, for a file no one reads until it is
// whole and on disk. The system starts putting each few MiB on disk as they
// are written, while the rule goes on: at the end, making the file durable
// waits only for the last of them.
class block_writer {
public:
    static constexpr bool line_by_line = false;
    block_writer(int file, std::string name) : file_(file), writer_(file, std::move(name))
    {
        buffer_.reserve(2 * block_size);
    }
    bool put(std::string_view text)
    {
        buffer_.append(text);
        return buffer_.size() < block_size || finish();
    }
    bool finish()
    {
        if (!writer_.put(buffer_))
            return false;
        written_ += buffer_.size();
        buffer_.clear();
        if (written_ - on_its_way_ >= writeback_step) {
            start_writeback(file_, on_its_way_, written_ - on_its_way_);
            on_its_way_ = written_;
        }
        return true;
    }

private:
    static constexpr unsigned long long writeback_step = 8ULL << 20;
    int file_;
    line_writer writer_;
    std::string buffer_;
    unsigned long long written_ = 0;
    unsigned long long on_its_way_ = 0;  // written before this has been sent to disk
};

// A check writes nothing.
struct no_writer {
    static constexpr bool line_by_line = false;
    static bool put(std::string_view /*text*/) { return true; }
};

// Reads `input` in blocks and feeds them to the line loop, which puts what
// `filter` says to write into `output`. After each block and at the end it
// calls `after_block`, which says whether to read on. False after reporting
// a failure.
template <class Output, class After_block>
bool filter_lines(int input, const std::string& name, list_filter& filter, Output&& output, After_block&& after_block)
{
    try {
        const auto block = std::make_unique<char[]>(block_size);
        line_loop loop(filter);
        for (std::ptrdiff_t got; (got = read_bytes(input, block.get(), block_size)) != 0;) {
            if (got < 0) {
                report_errno(name, errno);
                return false;
            }
            if (!loop.feed(std::string_view(block.get(), static_cast<std::size_t>(got)), output))
                return false;
            if (!after_block())
                return true;
        }
        if (!loop.finish(output))
            return false;
        after_block();
        return true;
    } catch (const std::bad_alloc&) {
        report(name, "line too long to hold in memory");
    } catch (const std::length_error&) {
        report(name, "line too long to hold in memory");
    }
    return false;
}

// A line for each list cut or mended since the last call, as editors and
// CI annotators read them: "FILE:LINE: KEY: FIELD has N names, more than
// COUNT" for a check, "... FIELD cut from N names to KEEP" otherwise; for a
// mend, "... FIELD ends in "et al." written as a name" or "... ends in
// "NAME", "et al." inside a name", and what it became. A last name left as
// it is though it holds "et al." gets a note, "etal: FILE:LINE: KEY: FIELD:
// "NAME" holds "et al.": fix it by hand", in `notes` for a check and among
// the lines otherwise, all of which go to standard error.
std::string cut_lines(list_filter& filter, const std::string& path, const filter_options& options, std::string& notes)
{
    const std::string_view file = path == standard_stream ? "(standard input)" : std::string_view(path);
    const bool check = options.form == run_form::check;
    const std::int32_t kept = options.rule.keep > 0 ? options.rule.keep : options.rule.author_limit;
    const std::string last = std::to_string(check ? options.rule.author_limit : kept) + "\n";
    const auto append_number = [](std::string& text, std::uint64_t number) {
        char digits[20];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        text.append(digits, end);
    };
    const std::vector<list_cut> cuts = filter.take_cuts();
    std::string lines;
    lines.reserve(cuts.size() * (file.size() + 80));
    for (const list_cut& cut : cuts) {
        const bool noted = !cut.et_al.empty() && cut.now.empty();
        std::string& told = noted && check ? notes : lines;
        if (noted)
            told.append("etal: ");
        told.append(file).push_back(':');
        append_number(told, cut.line);
        told.append(": ").append(cut.key).append(": ").append(cut.field);
        if (noted) {
            told.append(": \"").append(on_one_line(cut.et_al)).append("\" holds \"et al.\": fix it by hand\n");
        } else if (cut.now == others_name) {
            told.append(" ends in \"").append(on_one_line(cut.et_al)).append("\" written as a name");
            told.append(check ? "\n" : ", now others\n");
        } else if (!cut.now.empty()) {
            told.append(" ends in \"").append(on_one_line(cut.et_al)).append("\", \"et al.\" inside a name");
            if (!check)
                told.append(", now \"").append(on_one_line(cut.now)).push_back('"');
            told.push_back('\n');
        } else {
            told.append(check ? " has " : " cut from ");
            append_number(told, static_cast<std::uint64_t>(cut.names));
            told.append(check ? " names, more than " : " names to ").append(last);
        }
    }
    return lines;
}

// With --verbose, the cuts of each block on standard error.
auto tell_cuts(list_filter& filter, const std::string& path, const filter_options& options)
{
    return [&filter, &path, &options] {
        if (options.verbose) {
            std::string notes;
            const std::string lines = cut_lines(filter, path, options, notes);
            if (!lines.empty())
                write_error(lines);
        }
        return true;
    };
}

// Opens a file to be read, or standard input for "-"; -1 after reporting
// why not. A directory may open, and would only fail at the first read.
int open_to_read(const std::string& path)
{
    const int input = open_input(path);
    const int error = input < 0 ? errno : input_error(input);
    if (error == 0)
        return input;
    report_errno(input_name(path), error);
    if (input >= 0)
        close_file(input);
    return -1;
}

// Opens both files, refusing before OUTPUT is truncated when it is INPUT
// under another name; false after reporting why.
bool open_files(const std::string& input_path, const std::string& output_path, int& input, int& output)
{
    input = open_to_read(input_path);
    if (input < 0)
        return false;
    if (is_same_file(input, output_path)) {
        report(output_name(output_path), "input file is output file");
    } else if ((output = open_output(output_path)) < 0) {
        report_errno(output_name(output_path), errno);
    } else {
        return true;
    }
    close_file(input);
    return false;
}

int copy_file(const filter_options& options)
{
    const std::string& input_path = options.paths[0];
    const std::string& output_path = options.paths[1];
    int input = -1;
    int output = -1;
    if (!open_files(input_path, output_path, input, output))
        return exit_failure;
    list_filter filter(options.rule, notes_told(options));
    line_writer writer(output, output_name(output_path));
    bool ok = filter_lines(input, input_name(input_path), filter, writer, tell_cuts(filter, input_path, options));
    close_file(input);
    if (!close_file(output) && ok) {
        report_errno(output_name(output_path), errno);
        ok = false;
    }
    return ok ? 0 : exit_failure;
}

int rewrite_in_place(const filter_options& options, const std::string& path)
{
    in_place_file file;
    if (!file.open(path)) {
        report(path, file.failure());
        return exit_failure;
    }
    // Most files have nothing to cut or mend: read once, up to the first
    // change, and left as they were, with no temporary file and the same
    // time stamps.
    list_filter probe(options.rule);
    const auto unchanged = [&probe] { return probe.lists_cut() + probe.lists_mended() == 0; };
    if (!filter_lines(file.input(), path, probe, no_writer{}, unchanged))
        return exit_failure;
    if (unchanged())
        return 0;
    if (!rewind_file(file.input())) {
        report_errno(path, errno);
        return exit_failure;
    }
    if (!file.create_replacement()) {
        report(path, file.failure());
        return exit_failure;
    }
    list_filter filter(options.rule, notes_told(options));
    block_writer writer(file.output(), path);
    // On a failure `file` removes the temporary file as it goes.
    if (!filter_lines(file.input(), path, filter, writer, tell_cuts(filter, path, options)) || !writer.finish())
        return exit_failure;
    if (!file.replace()) {
        report(path, file.failure());
        return exit_failure;
    }
    return 0;
}

int check_file(const filter_options& options, const std::string& path)
{
    const int input = open_to_read(path);
    if (input < 0)
        return check_trouble;
    list_filter filter(options.rule, cut_notes::alone);
    bool printed = true;
    const bool read = filter_lines(input, input_name(path), filter, no_writer{}, [&] {
        std::string notes;
        const std::string lines = cut_lines(filter, path, options, notes);
        printed = lines.empty() || write_output(lines);
        if (!notes.empty())
            write_error(notes);
        return printed;
    });
    close_file(input);
    if (!printed)
        report_errno("standard output", errno);
    if (!read || !printed)
        return check_trouble;
    return filter.lists_cut() + filter.lists_mended() > 0 ? 1 : 0;
}

// Help and the version go to standard output, complaints to standard error.
int say(const command_line& command)
{
    if (command.exit_status != 0) {
        write_error(command.text);
        return command.exit_status;
    }
    if (write_output(command.text))
        return 0;
    report_errno("standard output", errno);
    return exit_failure;
}

}  // namespace

int main(int argc, char** argv)
{
    const command_line command = parse_command_line(command_line_arguments(argc, argv));
    if (!command.run)
        return say(command);
    const filter_options& options = *command.run;
    if (options.form == run_form::copy)
        return copy_file(options);
    int status = 0;
    for (const std::string& path : options.paths)
        status = std::max(status, options.form == run_form::in_place ? rewrite_in_place(options, path)
                                                                     : check_file(options, path));
    return status;
}
