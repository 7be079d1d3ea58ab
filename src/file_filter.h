// A file's lines through the rule, for every form of the command line:
// read in blocks, handed to the line loop, and written a line at a time (to
// a reader that follows the output), in large blocks (to a file no one reads
// until it is whole), or not at all (a check); with -v, each list cut or
// mended told of as it goes (list_report.h). Every failure is reported
// here, once, as "etal: NAME: reason".
#pragma once

#include "author_list.h"
#include "command_line.h"
#include "files.h"
#include "line_loop.h"
#include "list_report.h"

#include <cerrno>
#include <cstddef>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

/// Exit status of a file that could not be handled.
inline constexpr int exit_failure = 1;

/// Large enough that reading costs little next to the write per line, small
/// enough that memory stays flat however large the file. Blocks written in
/// place are of the same size.
inline constexpr std::size_t block_size = std::size_t{256} * 1024;

/// "etal: SUBJECT: REASON" on standard error.
void report(std::string_view subject, std::string_view reason);
void report_errno(std::string_view subject, int error);

/// What messages call a path: "-" is a standard stream.
std::string input_name(const std::string& path);
std::string output_name(const std::string& path);

/// A run that tells of its cuts has the rule note them.
inline cut_notes notes_told(const filter_options& options)
{
    return options.verbose ? cut_notes::with_text : cut_notes::none;
}

/// Each piece written at once, in one write.
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

/// Pieces gathered into large blocks, for a file no one reads until it is
/// whole and on disk. The system starts putting each few MiB on disk as they
/// are written, while the rule goes on: at the end, making the file durable
/// waits only for the last of them.
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
    bool finish();

private:
    static constexpr unsigned long long writeback_step = 8ULL << 20;
    int file_;
    line_writer writer_;
    std::string buffer_;
    unsigned long long written_ = 0;
    unsigned long long on_its_way_ = 0;  // written before this has been sent to disk
};

/// A check writes nothing.
struct no_writer {
    static constexpr bool line_by_line = false;
    static bool put(std::string_view /*text*/) { return true; }
};

/// Reads `input` in blocks and feeds them to the line loop, which puts what
/// `filter` says to write into `output`. After each block and at the end it
/// calls `after_block`, which says whether to read on. False after reporting
/// a failure.
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

/// With --verbose, what to call after each block: the lists of the block
/// that `filter` noted in `path`, told of on standard error by `lists`.
inline auto tell_cuts(list_filter& filter, const std::string& path, list_report& lists, const filter_options& options)
{
    return [&filter, &path, &lists, &options] {
        if (options.verbose) {
            std::string told;
            lists.tell(filter, path, told, told);
            if (!told.empty())
                write_error(told);
        }
        return true;
    };
}
