// The command line read into a run, or into what to print: a row for each
// form, option spelling and refusal.

#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string usage =
    "usage: etal [OPTION]... [COUNT] INPUT OUTPUT\n"
    "       etal -i [OPTION]... [COUNT] FILE...\n"
    "       etal --check [OPTION]... [COUNT] FILE...\n"
    "       etal --diff [OPTION]... [COUNT] FILE...\n"
    "       etal [OPTION]... [COUNT] --run COMMAND [ARG]...\n";

const std::string several_files = "usage: etal -i [OPTION]... [COUNT] FILE...  to rewrite several files in place\n";

// "FORM COUNT/KEEP FIELDS PATHS [-v]" for a run, else the text to print.
std::string described(const command_line& line)
{
    if (!line.run)
        return line.text;
    const filter_options& run = *line.run;
    std::string text = run.form == run_form::copy       ? "copy"
                       : run.form == run_form::in_place ? "in place"
                       : run.form == run_form::build    ? "run"
                       : run.form == run_form::diff     ? "diff"
                                                        : "check";
    const char* const formats[] = {"", " github", " gitlab", " json"};
    text += formats[static_cast<int>(run.format)];
    text += " " + std::to_string(run.rule.author_limit) + "/" + std::to_string(run.rule.keep);
    for (std::size_t i = 0; i < run.rule.fields.size(); ++i)
        text += (i == 0 ? " " : ",") + run.rule.fields[i];
    for (const std::string& path : run.paths)
        text += " " + path;
    for (const std::string& arg : run.command)
        text += " [" + arg + "]";
    return text + (run.verbose ? " -v" : "");
}

TEST(ParseCommandLine, ReadsEachFormAndOption)
{
    const struct {
        std::vector<std::string> args;
        std::string expected;
        int status;
    } rows[] = {
        // the copy: an argument past OUTPUT is refused, as meant for -i
        {{"a.bib", "b.bib"}, "copy 6/0 author a.bib b.bib", 0},
        {{"3", "a.bib", "b.bib", "c.bib"}, "etal: extra operand 'c.bib'\n" + several_files, 2},
        {{"a.bib", "b.bib", "c.bib", "d.bib"}, "etal: extra operand 'c.bib'\n" + several_files, 2},
        {{"-vk1", "--", "6", "a.bib", "b.bib", "-"}, "etal: extra operand '-'\n" + several_files, 2},
        {{"-v", "-", "-"}, "copy 6/0 author - - -v", 0},
        // in place and checks: every argument after COUNT is a FILE
        {{"-i", "a.bib"}, "in place 6/0 author a.bib", 0},
        {{"--in-place", "3", "a.bib", "b.bib", "c.bib"}, "in place 3/0 author a.bib b.bib c.bib", 0},
        {{"-c", "a.bib", "-"}, "check 6/0 author a.bib -", 0},
        {{"--check", "-k", "1", "6", "a.bib"}, "check 6/1 author a.bib", 0},
        // letters run together, a value at the end taking the next argument
        {{"-iv", "a.bib"}, "in place 6/0 author a.bib -v", 0},
        {{"-ivk1", "a.bib"}, "in place 6/1 author a.bib -v", 0},
        {{"-vik", "2", "3", "a.bib"}, "in place 3/2 author a.bib -v", 0},
        {{"-cfeditor,author", "a.bib"}, "check 6/0 editor,author a.bib", 0},
        {{"--verbose", "--fields", "editor", "-i", "--", "-a.bib"}, "in place 6/0 editor -a.bib -v", 0},
        // a BibTeX run: after the options and the count, every argument is the command's
        {{"-k", "1", "6", "--run", "bibtex", "paper"}, "run 6/1 author [bibtex] [paper]", 0},
        {{"-v", "--run", "bibtex", "-terse", "--", "3", "paper.aux"}, "run 6/0 author [bibtex] [-terse] [--] [3] [paper.aux] -v", 0},
        {{"-feditor", "3", "--run", "--run"}, "run 3/0 editor [--run]", 0},
        {{"--", "--run", "b.bib"}, "copy 6/0 author --run b.bib", 0},
        {{"--run"}, "etal: --run: needs a command to run\n" + usage, 2},
        {{"-i", "--run", "bibtex", "paper"}, "etal: --run cannot be used with --in-place, --check or --diff\n", 2},
        {{"-k", "7", "6", "--run", "bibtex", "paper"}, "etal: keep 7 is more than the count 6\n", 2},
        // the diff -i would make, and the forms a report takes
        {{"--diff", "-k1", "3", "a.bib", "-"}, "diff 3/1 author a.bib -", 0},
        {{"--check", "--format=github", "a.bib"}, "check github 6/0 author a.bib", 0},
        {{"-v", "--format", "gitlab", "a.bib", "b.bib"}, "copy gitlab 6/0 author a.bib b.bib -v", 0},
        {{"-iv", "--format=json", "--format=text", "a.bib"}, "in place 6/0 author a.bib -v", 0},
        {{"--check", "--format=xml", "a.bib"}, "etal: invalid format: xml (text, github, gitlab or json)\n", 2},
        {{"--format=json", "a.bib", "b.bib"}, "etal: --format tells of lists for --check and -v alone\n", 2},
        {{"--diff", "-c", "a.bib"}, "etal: --diff cannot be used with --in-place or --check\n", 2},
        {{"--diff", "-v", "a.bib"}, "etal: --diff tells of nothing but the diff: -v cannot be used with it\n", 2},
        {{"--diff", "--run", "bibtex", "paper"}, "etal: --run cannot be used with --in-place, --check or --diff\n", 2},
        // help and version, whatever follows
        {{"-ih", "x"}, "", 0},
        {{"--version", "-x"}, "etal " ETAL_VERSION "\n", 0},
        // refusals
        {{"-i"}, "etal: missing FILE\n" + usage, 2},
        {{"--check", "3"}, "etal: missing FILE after the count 3 (a file of that name is ./3)\n" + usage, 2},
        // no file is a count in the FILE forms: a year-named file is checked
        {{"--check", "2023.bib", "refs.bib"}, "check 6/0 author 2023.bib refs.bib", 0},
        {{"-i", "42refs.bib"}, "in place 6/0 author 42refs.bib", 0},
        {{"--diff", "3", "2023.bib"}, "diff 3/0 author 2023.bib", 0},
        {{"-c", "+3", "a.bib"}, "check 3/0 author a.bib", 0},
        {{"-i", "-3", "a.bib"}, "etal: invalid count: -3\n", 2},
        // ... while the copy reads a leading number, and says so where an operand is then missing
        {{"42refs.bib", "out.bib"}, "etal: missing OUTPUT after INPUT out.bib: 42refs.bib was read as the count 42 (a file of that name is ./42refs.bib)\n" + usage, 2},
        {{"3", "refs.bib"}, "etal: missing OUTPUT after INPUT refs.bib\n" + usage, 2},
        {{}, "etal: missing INPUT and OUTPUT\n" + usage, 2},
        {{"-v", "3"}, "etal: missing INPUT and OUTPUT after the count 3 (a file of that name is ./3)\n" + usage, 2},
        {{"./42refs.bib", "out.bib"}, "copy 6/0 author ./42refs.bib out.bib", 0},
        // the whole line is read first, as GNU getopt reads it: options after operands, "--" anywhere
        {{"-i", "3", "a.bib", "-v"}, "in place 3/0 author a.bib -v", 0},
        {{"3", "in.bib", "-k", "1", "out.bib"}, "copy 3/1 author in.bib out.bib", 0},
        {{"-i", "3", "b.bib", "--no-such-option"}, "etal: unknown option: --no-such-option\n" + usage, 2},
        {{"-i", "3", "--", "-v.bib"}, "in place 3/0 author -v.bib", 0},
        {{"-i", "3", "a.bib", "--", "-v", "--run"}, "in place 3/0 author a.bib -v --run", 0},
        {{"-i", "a.bib", "--version"}, "etal " ETAL_VERSION "\n", 0},
        {{"3", "--run", "bibtex", "-k", "1", "paper"}, "run 3/0 author [bibtex] [-k] [1] [paper]", 0},
        {{"a.bib", "--run", "bibtex", "paper"}, "etal: a.bib: only COUNT may stand before --run COMMAND\n" + usage, 2},
        {{"-i", "a.bib", "-"}, "etal: -: standard input cannot be rewritten in place\n", 2},
        {{"-i", "--check", "a.bib"}, "etal: --in-place and --check cannot be used together\n", 2},
        {{"-ci", "a.bib"}, "etal: --in-place and --check cannot be used together\n", 2},
        {{"-ix", "a.bib"}, "etal: unknown option: -x\n" + usage, 2},
        {{"--in-place=yes", "a.bib"}, "etal: option takes no value: --in-place\n" + usage, 2},
        {{"-ik"}, "etal: option needs a value: -k\n" + usage, 2},
        {{"-i", "-k", "4", "3", "a.bib"}, "etal: keep 4 is more than the count 3\n", 2},
        {{"--check", "0", "a.bib"}, "etal: invalid count: 0\n", 2},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = {"etal"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const command_line line = parse_command_line(args);
        std::string shown;
        for (const std::string& a : r.args)
            shown += " " + a;
        if (r.expected.empty()) {  // the help
            EXPECT_EQ(line.text.substr(0, usage.size()), usage) << shown;
        } else {
            EXPECT_EQ(described(line), r.expected) << shown;
        }
        EXPECT_EQ(line.exit_status, r.status) << shown;
    }
}

}  // namespace
