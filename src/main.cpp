// etal [OPTION]... [COUNT] INPUT OUTPUT: copy a BibTeX file line by line,
// shortening every name list (author, or the fields of --fields) longer than
// COUNT (default 6) to its first names (COUNT, or KEEP of --keep) and
// "others". "-" is standard input as INPUT and standard output as OUTPUT.
//
// Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a
// wrong command line. Every failure prints one line on stderr. Each output
// line goes out in one write as soon as the rule has judged it, before the
// next input line is handled, so a reader following OUTPUT sees whole lines,
// and a run that fails or is killed leaves exactly the lines written so far.
// Only the lines of a list being cut wait, within a fixed bound, for the list
// to close.

#include "author_list.h"
#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::int32_t default_author_limit = 6;

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// Large enough that reading costs little next to the write per line, small
// enough that memory stays flat however large the file.
constexpr std::size_t read_block_size = std::size_t{256} * 1024;

constexpr std::string_view usage_text = "usage: etal [OPTION]... [COUNT] INPUT OUTPUT\n";

// Kept in step with the manual's SYNOPSIS and OPTIONS.
constexpr std::string_view help_text =
    "usage: etal [OPTION]... [COUNT] INPUT OUTPUT\n"
    "Copy the BibTeX database INPUT to OUTPUT, cutting every name list of more\n"
    "than COUNT names (6 by default) to its first names and \"others\", which\n"
    "styles print as \"et al.\". \"-\" is standard input or standard output.\n"
    "\n"
    "  -k, --keep=KEEP     a cut list keeps its first KEEP names, 1 to COUNT\n"
    "                      (COUNT by default)\n"
    "  -f, --fields=LIST   the name-list fields to shorten, comma-separated,\n"
    "                      instead of author; may be given more than once\n"
    "  -h, --help          print this help and exit\n"
    "      --version       print the version and exit\n"
    "\n"
    "IEEE's rule, more than six names print as the first one and \"et al.\":\n"
    "  etal -k 1 6 refs.bib refs-short.bib\n";

constexpr std::string_view version_text = "etal " ETAL_VERSION "\n";

struct filter_options {
    list_rule rule{default_author_limit};
    std::string input_path;
    std::string output_path;
    // What messages call them: the paths, or the standard streams' names.
    std::string input_name;
    std::string output_name;
};

void report(std::string_view what) { write_error(std::string("etal: ").append(what).append("\n")); }

void report(std::string_view subject, std::string_view reason)
{
    report(std::string(subject).append(": ").append(reason));
}

void report_errno(std::string_view name, int error) { report(name, error_text(error)); }

void usage() { write_error(usage_text); }

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

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A KEEP: digits alone. Past the 32-bit range it stays above any count.
std::optional<std::int64_t> whole_number(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!is_digit(c))
            return std::nullopt;
        value = std::min<std::int64_t>(value * 10 + (c - '0'), std::int64_t{INT32_MAX} + 1);
    }
    return value;
}

constexpr bool is_field_name_byte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '-' || c == '_' || c == '.' ||
           c == ':';
}

// Adds the comma-separated names of `list` to `fields`; false after
// reporting an empty or invalid one.
bool add_fields(std::string_view list, std::vector<std::string>& fields)
{
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view name = list.substr(start, comma - start);
        if (name.empty()) {
            report("empty field name in \"" + std::string(list) + "\"");
            return false;
        }
        if (!std::all_of(name.begin(), name.end(), is_field_name_byte)) {
            report("invalid field name", "\"" + std::string(name) + "\"");
            return false;
        }
        fields.emplace_back(name);
        if (comma == list.size())
            return true;
        start = comma + 1;
    }
}

// An option starts with "-"; "-" alone is a standard stream, and a sign and
// a digit start a count.
bool is_option(std::string_view arg) { return arg.size() > 1 && arg[0] == '-' && !is_digit(arg[1]); }

// What the command line asks for: a run with `options`, or, once help, the
// version or a complaint is printed, the exit status to end with.
struct command_line {
    std::optional<filter_options> options;
    int exit_status = 0;
};

command_line print(std::string_view text)
{
    if (write_output(text))
        return {std::nullopt, 0};
    report_errno("standard output", errno);
    return {std::nullopt, exit_failure};
}

command_line wrong(bool with_usage = false)
{
    if (with_usage)
        usage();
    return {std::nullopt, exit_usage};
}

// Options first, up to "--" or the first argument that is not one. Then a
// first argument that starts with a number is the count, as with atoi;
// otherwise it is the input. A count below 1 is refused rather than guessed
// at: "0" could be a file name, and taking it as one would make the real
// input the output.
command_line parse_command_line(const std::vector<std::string>& args)
{
    filter_options options;
    std::optional<std::int64_t> keep;
    std::string_view keep_text;
    bool fields_given = false;
    std::size_t next = 1;
    for (; next < args.size() && is_option(args[next]); ++next) {
        const std::string_view arg = args[next];
        if (arg == "--") {
            ++next;
            break;
        }
        if (arg == "-h" || arg == "--help")
            return print(help_text);
        if (arg == "--version")
            return print(version_text);
        // -kKEEP, -k KEEP, --keep=KEEP, --keep KEEP; the same for the fields.
        const bool long_form = arg[1] == '-';
        const std::size_t name_end = long_form ? std::min(arg.find('='), arg.size()) : 2;
        const std::string_view name = arg.substr(0, name_end);
        if (name != "-k" && name != "--keep" && name != "-f" && name != "--fields") {
            report("unknown option", arg);
            return wrong(true);
        }
        std::string_view value = arg.substr(std::min(name_end + (long_form ? 1 : 0), arg.size()));
        if (name_end == arg.size()) {
            if (next + 1 == args.size()) {
                report("option needs a value", name);
                return wrong(true);
            }
            value = args[++next];
        }
        if (name == "-k" || name == "--keep") {
            keep = whole_number(value);
            keep_text = value;
            if (!keep || *keep < 1) {
                report("invalid keep", value);
                return wrong();
            }
        } else {
            if (!fields_given)
                options.rule.fields.clear();
            fields_given = true;
            if (!add_fields(value, options.rule.fields))
                return wrong();
        }
    }

    if (next == args.size())
        return wrong(true);
    std::size_t first_path = next;
    if (const auto count = leading_number(args[next].c_str())) {
        if (*count < 1 || *count > INT32_MAX) {
            report("invalid count", args[next]);
            return wrong();
        }
        options.rule.author_limit = static_cast<std::int32_t>(*count);
        first_path = next + 1;
    }
    if (args.size() < first_path + 2)
        return wrong(true);
    if (keep && *keep > options.rule.author_limit) {
        report("keep " + std::string(keep_text) + " is more than the count " +
               std::to_string(options.rule.author_limit));
        return wrong();
    }
    options.rule.keep = static_cast<std::int32_t>(keep.value_or(0));
    options.input_path = args[first_path];
    options.output_path = args[first_path + 1];
    options.input_name = options.input_path == standard_stream ? "standard input" : options.input_path;
    options.output_name = options.output_path == standard_stream ? "standard output" : options.output_path;
    return {options, 0};
}

// Returns false after reporting a failure; the lines written before it stay.
bool filter_lines(int input, int output, const filter_options& options)
{
    const auto block = std::make_unique<char[]>(read_block_size);
    list_filter filter(options.rule);
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
        const line_output result = filter.next_line(line.substr(0, line.size() - 1));
        return (result.before.empty() || write_text(result.before)) && (!result.write_line || write_text(line));
    };

    for (std::ptrdiff_t got; (got = read_bytes(input, block.get(), read_block_size)) != 0;) {
        if (got < 0) {
            report_errno(options.input_name, errno);
            return false;
        }
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
    const std::string_view held = filter.end_of_input();
    return held.empty() || write_text(held);
}

// Opens both files, refusing before OUTPUT is truncated when it is INPUT
// under another name; false after reporting why.
bool open_files(const filter_options& options, int& input, int& output)
{
    input = open_input(options.input_path);
    if (input < 0) {
        report_errno(options.input_name, errno);
        return false;
    }
    // A directory may open, and would only fail at the first read: after the
    // output had been truncated.
    if (const int error = input_error(input)) {
        report_errno(options.input_name, error);
    } else if (is_same_file(input, options.output_path)) {
        report(options.output_name, "input file is output file");
    } else if ((output = open_output(options.output_path)) < 0) {
        report_errno(options.output_name, errno);
    } else {
        return true;
    }
    close_file(input);
    return false;
}

int run(const filter_options& options)
{
    int input = -1;
    int output = -1;
    if (!open_files(options, input, output))
        return exit_failure;
    bool ok = false;
    try {
        ok = filter_lines(input, output, options);
    } catch (const std::bad_alloc&) {
        report(options.input_name, "line too long to hold in memory");
    } catch (const std::length_error&) {
        report(options.input_name, "line too long to hold in memory");
    }
    close_file(input);
    if (!close_file(output) && ok) {
        report_errno(options.output_name, errno);
        ok = false;
    }
    return ok ? 0 : exit_failure;
}

}  // namespace

int main(int argc, char** argv)
{
    const command_line command = parse_command_line(command_line_arguments(argc, argv));
    return command.options ? run(*command.options) : command.exit_status;
}
