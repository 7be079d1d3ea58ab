// etal: cut the long name lists of BibTeX databases to their first names
// and "others". Five forms (see command_line.h): INPUT to OUTPUT, each FILE
// in place, a check of each FILE, the diff -i would make of each FILE
// (unified_diff.h), or a BibTeX run on shortened copies of its databases
// (bibtex_run.h). For each file the recipe is the same: open it,
// filter its lines through the rule, and finish it (close it, or put the new
// file in its place).
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

#include "bibtex_run.h"
#include "command_line.h"
#include "file_filter.h"
#include "files.h"
#include "list_report.h"
#include "unified_diff.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

namespace {

constexpr int check_trouble = 2;

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

int copy_file(const filter_options& options, list_report& lists)
{
    const std::string& input_path = options.paths[0];
    const std::string& output_path = options.paths[1];
    int input = -1;
    int output = -1;
    if (!open_files(input_path, output_path, input, output))
        return exit_failure;
    list_filter filter(options.rule, notes_told(options));
    line_writer writer(output, output_name(output_path));
    bool ok = filter_lines(input, input_name(input_path), filter, writer, tell_cuts(filter, input_path, lists, options));
    close_file(input);
    if (!close_file(output) && ok) {
        report_errno(output_name(output_path), errno);
        ok = false;
    }
    return ok ? 0 : exit_failure;
}

int rewrite_in_place(const filter_options& options, list_report& lists, const std::string& path)
{
    in_place_file file;
    if (!file.open(path)) {
        report(path, file.failure());
        return exit_failure;
    }
    // Most files have nothing to cut or mend: read once, up to the first
    // change, and left as they were, with no temporary file and the same
    // time stamps.
    // With -v it notes as it goes, for the notes of a file left as it is.
    list_filter probe(options.rule, options.verbose ? cut_notes::alone : cut_notes::none);
    const auto unchanged = [&probe] { return probe.lists_cut() + probe.lists_mended() == 0; };
    if (!filter_lines(file.input(), path, probe, no_writer{}, unchanged))
        return exit_failure;
    if (unchanged()) {
        tell_cuts(probe, path, lists, options)();
        return 0;
    }
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
    if (!filter_lines(file.input(), path, filter, writer, tell_cuts(filter, path, lists, options)) || !writer.finish())
        return exit_failure;
    if (!file.replace()) {
        report(path, file.failure());
        return exit_failure;
    }
    return 0;
}

int check_file(const filter_options& options, list_report& lists, const std::string& path)
{
    const int input = open_to_read(path);
    if (input < 0)
        return check_trouble;
    list_filter filter(options.rule, cut_notes::alone);
    bool printed = true;
    const bool read = filter_lines(input, input_name(path), filter, no_writer{}, [&] {
        std::string lines;
        std::string notes;
        lists.tell(filter, path, lines, notes);
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
    // A list left long because only BibTeX builds it fails the check too:
    // a check that passes means every list is within the rule.
    return filter.lists_cut() + filter.lists_mended() + filter.lists_left_long() > 0 ? 1 : 0;
}

// Standard output, for a diff: each hunk in one write.
struct standard_output {
    static bool put(std::string_view text)
    {
        if (write_output(text))
            return true;
        report_errno("standard output", errno);
        return false;
    }
};

// Whether `path`, made whole, lies below `folder`: then its name from there.
bool below(const std::filesystem::path& path, const std::filesystem::path& folder, std::filesystem::path& relative)
{
    relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

// How a diff names `path`: from the current folder, where `git apply` and
// `patch -p1` run, however it was named ("./sub//c.bib", "/home/me/c.bib",
// "../me/c.bib" all give "sub/c.bib" or "c.bib"); a file outside it as
// given, with no doubled or leading slash after "a/". Standard input is "-".
std::string diff_name(const std::string& path)
{
    namespace fs = std::filesystem;
    if (path == standard_stream)
        return path;
    const fs::path given = fs::u8path(path).lexically_normal();
    fs::path relative;
    if (given.is_relative() && !given.empty() && *given.begin() != "..")
        return given.generic_u8string();
    std::error_code error;
    const fs::path here = fs::current_path(error);
    if (!error) {
        const fs::path whole = (here / given).lexically_normal();
        // A folder reached through a link (macOS's /tmp) is compared by
        // where it leads, as getcwd names the current folder so.
        if (below(whole, here, relative))
            return relative.generic_u8string();
        const fs::path led_to = fs::weakly_canonical(whole, error);
        const fs::path here_led_to = fs::weakly_canonical(here, error);
        if (!error && below(led_to, here_led_to, relative))
            return relative.generic_u8string();
    }
    std::string name = given.generic_u8string();
    name.erase(0, name.find_first_not_of('/'));
    return name;
}

// The diff that -i would make of `path`, on standard output: 1 when there
// is one, 0 when none, 2 when the file could not be read or the diff
// written.
int diff_file(const filter_options& options, const std::string& path)
{
    const int input = open_to_read(path);
    if (input < 0)
        return check_trouble;
    list_filter filter(options.rule);
    standard_output out;
    unified_diff<standard_output> diff(diff_name(path), out);
    const bool read = filter_lines(input, input_name(path), filter, diff, [] { return true; });
    close_file(input);
    if (!read)
        return check_trouble;
    return diff.changed() ? 1 : 0;
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
    if (options.form == run_form::build)
        return run_bibtex(options);
    list_report lists(options);
    int status = 0;
    if (options.form == run_form::copy) {
        status = copy_file(options, lists);
    } else {
        for (const std::string& path : options.paths) {
            const int done = options.form == run_form::in_place ? rewrite_in_place(options, lists, path)
                             : options.form == run_form::check  ? check_file(options, lists, path)
                                                                : diff_file(options, path);
            status = std::max(status, done);
        }
    }
    // A report that is one piece of JSON ends once every file is told of.
    const std::string closing = lists.closing();
    if (options.form == run_form::check && !closing.empty() && !write_output(closing)) {
        report_errno("standard output", errno);
        status = check_trouble;
    } else if (options.form != run_form::check && options.verbose && !closing.empty()) {
        write_error(closing);
    }
    return status;
}
