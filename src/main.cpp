// etal [COUNT] INPUT OUTPUT: copy a BibTeX file line by line, shortening
// every author list longer than COUNT (default 6) to end in "others". "-"
// is standard input as INPUT and standard output as OUTPUT.
//
// Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a
// wrong command line. Every failure prints one line on stderr. Each output
// line goes out in one write(2) as soon as the rule has judged it, before the
// next input line is handled, so a reader following OUTPUT sees whole lines,
// and a run that fails or is killed leaves exactly the lines written so far.
// Only the lines of an author list being cut wait, within a fixed bound, for
// the list to close.

#include "author_list.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int32_t default_author_limit = 6;

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// Large enough that reading costs little next to the write per line, small
// enough that memory stays flat however large the file.
constexpr std::size_t read_block_size = std::size_t{256} * 1024;

// "-" as INPUT is standard input, as OUTPUT standard output; "./-" is a file.
constexpr std::string_view standard_stream = "-";

struct filter_options {
    std::int32_t author_limit = default_author_limit;
    const char* input_path = nullptr;
    const char* output_path = nullptr;
    // What messages call them: the paths, or the standard streams' names.
    const char* input_name = nullptr;
    const char* output_name = nullptr;
};

// One write, so that concurrent output on stderr is never interleaved mid-line.
void report(std::string_view subject, std::string_view reason)
{
    std::string message = "etal: ";
    message.append(subject).append(": ").append(reason).append("\n");
    (void)!write(STDERR_FILENO, message.data(), message.size());
}

void report_errno(const char* path, int error) { report(path, std::strerror(error)); }

void usage()
{
    constexpr std::string_view text = "usage: etal [COUNT] INPUT OUTPUT\n";
    (void)!write(STDERR_FILENO, text.data(), text.size());
}

// Reads the leading number of `arg` as atoi does (blanks, a sign, digits, the
// rest ignored), without its overflow. Empty when there are no digits.
std::optional<std::int64_t> leading_number(const char* arg)
{
    while (*arg == ' ' || (*arg >= '\t' && *arg <= '\r'))
        ++arg;
    const bool negative = *arg == '-';
    if (*arg == '-' || *arg == '+')
        ++arg;
    if (*arg < '0' || *arg > '9')
        return std::nullopt;
    constexpr std::int64_t beyond = std::int64_t{INT32_MAX} + 1;
    std::int64_t value = 0;
    for (; *arg >= '0' && *arg <= '9'; ++arg)
        value = value >= beyond ? beyond : value * 10 + (*arg - '0');
    return negative ? -value : value;
}

// A first argument that starts with a number is the count, as with atoi;
// otherwise it is the input. Empty after reporting a wrong command line.
// A count below 1 is refused rather than guessed at: "0" could be a file
// name, and taking it as one would make the real input the output.
std::optional<filter_options> parse_command_line(int argc, char** argv)
{
    if (argc < 2) {
        usage();
        return std::nullopt;
    }
    filter_options options;
    int first_path = 1;
    if (const auto count = leading_number(argv[1])) {
        if (*count < 1 || *count > INT32_MAX) {
            report("invalid count", argv[1]);
            return std::nullopt;
        }
        options.author_limit = static_cast<std::int32_t>(*count);
        first_path = 2;
    }
    if (argc < first_path + 2) {
        usage();
        return std::nullopt;
    }
    options.input_path = argv[first_path];
    options.output_path = argv[first_path + 1];
    options.input_name = options.input_path == standard_stream ? "standard input" : options.input_path;
    options.output_name = options.output_path == standard_stream ? "standard output" : options.output_path;
    return options;
}

// Writes the whole of `text`; a regular file or a pipe takes it in one call.
bool write_all(int fd, std::string_view text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// Returns false after reporting a failure; the lines written before it stay.
bool filter_lines(int input, int output, const filter_options& options)
{
    const auto block = std::make_unique<char[]>(read_block_size);
    author_scan scan(options.author_limit);
    // A line split across two reads, or a last line without its line feed;
    // every other line is handed over and written straight from `block`.
    std::string carried;
    auto write_text = [&](std::string_view text) {
        if (write_all(output, text))
            return true;
        report_errno(options.output_name, errno);
        return false;
    };
    // `line` ends in its line feed.
    auto emit = [&](std::string_view line) {
        const line_output result = filter_author_line(scan, line.substr(0, line.size() - 1));
        return (result.before.empty() || write_text(result.before)) && (!result.write_line || write_text(line));
    };

    for (;;) {
        const ssize_t got = read(input, block.get(), read_block_size);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            report_errno(options.input_name, errno);
            return false;
        }
        if (got == 0)
            break;
        const char* next = block.get();
        const char* const end = next + got;
        while (const void* found = std::memchr(next, '\n', static_cast<std::size_t>(end - next))) {
            const char* const after = static_cast<const char*>(found) + 1;
            if (carried.empty()) {
                if (!emit(std::string_view(next, static_cast<std::size_t>(after - next))))
                    return false;
            } else {
                carried.append(next, after);
                if (!emit(carried))
                    return false;
                carried.clear();
            }
            next = after;
        }
        carried.append(next, end);
    }
    // A last line without its line feed still gets one.
    if (!carried.empty() && !emit(carried.append(1, '\n')))
        return false;
    const std::string_view held = finish_author_lines(scan);
    return held.empty() || write_text(held);
}

int open_input(const filter_options& options)
{
    return options.input_path == standard_stream ? STDIN_FILENO : open(options.input_path, O_RDONLY | O_CLOEXEC);
}

int open_output(const filter_options& options)
{
    return options.output_path == standard_stream
               ? STDOUT_FILENO
               : open(options.output_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

// Opening the output truncates it, so refuse before that when it is the
// input under another name, or through "-". Only regular files:
// /dev/stdin and /dev/stdout may well be one terminal, and reading it while
// writing it is fine.
bool is_same_file(const struct stat& input, const filter_options& options)
{
    struct stat output {};
    const bool exists = options.output_path == standard_stream ? fstat(STDOUT_FILENO, &output) == 0
                                                               : stat(options.output_path, &output) == 0;
    return S_ISREG(input.st_mode) && exists && S_ISREG(output.st_mode) && input.st_dev == output.st_dev &&
           input.st_ino == output.st_ino;
}

int run(const filter_options& options)
{
    const int input = open_input(options);
    if (input < 0) {
        report_errno(options.input_name, errno);
        return exit_failure;
    }
    // A directory opens, and would only fail at the first read: after the
    // output had been truncated.
    struct stat input_status {};
    const int input_error = fstat(input, &input_status) != 0 ? errno : S_ISDIR(input_status.st_mode) ? EISDIR : 0;
    if (input_error != 0) {
        report_errno(options.input_name, input_error);
        close(input);
        return exit_failure;
    }
    if (is_same_file(input_status, options)) {
        report(options.output_name, "input file is output file");
        close(input);
        return exit_failure;
    }
    const int output = open_output(options);
    if (output < 0) {
        report_errno(options.output_name, errno);
        close(input);
        return exit_failure;
    }

    bool ok = false;
    try {
        ok = filter_lines(input, output, options);
    } catch (const std::bad_alloc&) {
        report(options.input_name, "line too long to hold in memory");
    } catch (const std::length_error&) {
        report(options.input_name, "line too long to hold in memory");
    }
    close(input);
    // A failed close can be the first news of a failed write (NFS, quotas),
    // on standard output too.
    if (close(output) != 0 && ok) {
        report_errno(options.output_name, errno);
        ok = false;
    }
    return ok ? 0 : exit_failure;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = parse_command_line(argc, argv);
    return options ? run(*options) : exit_usage;
}
