// The program as users run it: the built binary, in a temporary folder, on
// real files; each case checks the files after, the exit status and stderr.

#include "run_etal.h"
#include "bib_properties.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace {

using files = std::map<std::string, std::optional<std::string>>;  // nullopt: absent

const std::string long_list = "author = {A and B and C and D and E and F and G and H},\n";
const std::string long_list_at_6 = "author = {A and B and C and D and E and F and others },\n";
const std::string long_list_at_3 = "author = {A and B and C and others },\n";
const std::string long_list_keep_1 = "author = {A and others },\n";
const std::string usage_line =
    "usage: etal [OPTION]... [COUNT] INPUT OUTPUT\n"
    "       etal -i [OPTION]... [COUNT] FILE...\n"
    "       etal --check [OPTION]... [COUNT] FILE...\n"
    "       etal --diff [OPTION]... [COUNT] FILE...\n"
    "       etal [OPTION]... [COUNT] --run COMMAND [ARG]...\n";

struct cli_row {
    std::vector<std::string> args;
    files before;
    files after;  // files checked after the run, besides those of `before` left as they were
    int status;
    std::string error;
    std::string printed = {};  // on standard output
    std::string other_writer = {};  // a shell command that another program runs once a new text is whole
    std::string standard_input = {};  // a file of `before` to read as standard input
    std::string environment = {};     // NAME=VALUE, set for the run
};

// Sets, or with an empty value unsets, an environment variable of this
// process, which etal inherits.
void set_environment(const std::string& name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
#endif
}

const std::string several_files = "usage: etal -i [OPTION]... [COUNT] FILE...  to rewrite several files in place\n";

const std::string printed_name = ".stdout";

void check(const std::vector<cli_row>& rows)
{
    for (const cli_row& r : rows) {
        temp_dir dir;
        // An hour old, so that a file written again, even unchanged, shows it.
        std::map<std::string, std::filesystem::file_time_type> times;
        for (const auto& [name, content] : r.before) {
            if (content) {
                dir.write(name, *content);
                std::filesystem::last_write_time(dir / name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
                times[name] = std::filesystem::last_write_time(dir / name);
            }
        }
#ifdef ETAL_OTHER_WRITER
        if (!r.other_writer.empty()) {
            setenv("LD_PRELOAD", ETAL_OTHER_WRITER, 1);
            setenv("ETAL_TEST_ON_FSYNC", r.other_writer.c_str(), 1);
            setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);  // the sanitizer's runtime comes after it
        }
#endif
        const std::string variable = r.environment.substr(0, r.environment.find('='));
        if (!r.environment.empty())
            set_environment(variable, r.environment.substr(variable.size() + 1));
        const run_result result = run_etal_with_files(dir.path, r.args, r.standard_input, printed_name);
        if (!r.environment.empty())
            set_environment(variable, "");
#ifdef ETAL_OTHER_WRITER
        for (const char* name : {"LD_PRELOAD", "ETAL_TEST_ON_FSYNC", "ASAN_OPTIONS"})
            unsetenv(name);
#endif
        std::string args;
        for (const std::string& a : r.args)
            args += " '" + a + "'";
        SCOPED_TRACE("etal" + args);
        EXPECT_EQ(result.status, r.status);
        EXPECT_EQ(result.error, r.error);
        for (const auto& [name, content] : r.before) {
            if (r.after.count(name) == 0) {
                EXPECT_EQ(dir.read(name), content) << name << " changed";
                EXPECT_TRUE(!content || std::filesystem::last_write_time(dir / name) == times[name]) << name << " written";
            }
        }
        for (const auto& [name, content] : r.after)
            EXPECT_EQ(dir.read(name), content) << name;
        EXPECT_EQ(dir.read(printed_name), r.printed);
        // and nothing else, such as a temporary file
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "")) {
            const std::string name = entry.path().lexically_relative(dir / "").generic_u8string();
            EXPECT_TRUE(entry.is_directory() || name == printed_name || r.before.count(name) + r.after.count(name) > 0)
                << name << " left behind";
        }
    }
}

TEST(CommandLine, ReadsTheCountLikeAtoi)
{
    const files in = {{"in.bib", long_list}};
    check({
        // no count: the limit is 6
        {{"in.bib", "out.bib"}, in, {{"out.bib", long_list_at_6}}, 0, ""},
        {{"3", "in.bib", "out.bib"}, in, {{"out.bib", long_list_at_3}}, 0, ""},
        // blanks, a sign, and anything after the digits
        {{" +3", "in.bib", "out.bib"}, in, {{"out.bib", long_list_at_3}}, 0, ""},
        {{"3refs.bib", "in.bib", "out.bib"}, in, {{"out.bib", long_list_at_3}}, 0, ""},
        {{"2147483647", "in.bib", "out.bib"}, in, {{"out.bib", long_list}}, 0, ""},
        // the names kept, in each spelling; options end at the first argument that is not one, or at --
        {{"-k", "1", "3", "in.bib", "out.bib"}, in, {{"out.bib", long_list_keep_1}}, 0, ""},
        {{"-k1", "--", "3", "in.bib", "out.bib"}, in, {{"out.bib", long_list_keep_1}}, 0, ""},
        {{"--keep=1", "in.bib", "out.bib"}, in, {{"out.bib", long_list_keep_1}}, 0, ""},
        {{"--keep", "3", "3", "in.bib", "out.bib"}, in, {{"out.bib", long_list_at_3}}, 0, ""},
        // other fields instead of author, added up over repeats
        {{"-f", "editor", "3", "in.bib", "out.bib"}, in, {{"out.bib", long_list}}, 0, ""},
        {{"-feditor", "--fields=Author", "3", "in.bib", "out.bib"}, in, {{"out.bib", long_list_at_3}}, 0, ""},
        // a file whose name starts with "-"
        {{"--", "-in.bib", "out.bib"}, {{"-in.bib", long_list}}, {{"out.bib", long_list_at_6}}, 0, ""},
    });
}

// Help and version go to standard output, for a pager or a script.
TEST(CommandLine, PrintsHelpAndVersion)
{
    for (const auto& [args, start] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--help"}, usage_line}, {{"-h", "x"}, usage_line}, {{"--version"}, "etal " ETAL_VERSION "\n"}}) {
        temp_dir dir;
        const run_result result = run_etal_with_files(dir.path, args, "", "stdout");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.error, "");
        const std::string printed = dir.read("stdout").value_or("");
        EXPECT_EQ(printed.substr(0, start.size()), start) << args[0];
        if (args[0] != "--version") {
            for (const char* option : {"--keep=KEEP", "--fields=LIST", "--in-place", "--check", "--verbose", "--help", "--version",
                                       "--run COMMAND", "--diff", "--format=FORMAT"})
                EXPECT_NE(printed.find(option), std::string::npos) << option;
        }
    }
}

TEST(CommandLine, RefusesAWrongCommandLineBeforeOpeningAnything)
{
    const files in = {{"in.bib", long_list}};
    const files no_out = {{"out.bib", std::nullopt}};
    check({
        {{}, in, no_out, 2, "etal: missing INPUT and OUTPUT\n" + usage_line},
        {{"in.bib"}, in, no_out, 2, "etal: missing OUTPUT after INPUT in.bib\n" + usage_line},
        // a count and only one path
        {{"3", "in.bib"}, in, no_out, 2, "etal: missing OUTPUT after INPUT in.bib\n" + usage_line},
        // an unknown option after the files: nothing is rewritten
        {{"-i", "3", "in.bib", "--no-such-option"}, in, {}, 2, "etal: unknown option: --no-such-option\n" + usage_line},
        // several files without -i: b.bib is neither read nor written, c.bib neither created
        {{"2", "a.bib", "b.bib", "c.bib"}, {{"a.bib", long_list}, {"b.bib", "mine\n"}}, {{"c.bib", std::nullopt}}, 2,
         "etal: extra operand 'c.bib'\n" + several_files},
        {{"-k1", "a.bib", "b.bib", "c.bib"}, {{"a.bib", long_list}, {"b.bib", "mine\n"}, {"c.bib", "c\n"}}, {}, 2,
         "etal: extra operand 'c.bib'\n" + several_files},
        // zero in any spelling: taking it as a path would truncate in.bib
        {{"0", "in.bib"}, in, no_out, 2, "etal: invalid count: 0\n"},
        {{"00", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count: 00\n"},
        {{"+0", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count: +0\n"},
        {{"-0", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count: -0\n"},
        {{" 0", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count:  0\n"},
        {{"0refs.bib", "in.bib"}, in, no_out, 2, "etal: invalid count: 0refs.bib\n"},
        {{"-3", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count: -3\n"},
        // beyond 32 bits either way
        {{"2147483648", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count: 2147483648\n"},
        {{"-2147483649", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid count: -2147483649\n"},
        {{"99999999999999999999999", "in.bib", "out.bib"}, in, no_out, 2,
         "etal: invalid count: 99999999999999999999999\n"},
        // options: unknown, without a value, a wrong KEEP, a wrong field name
        {{"-x", "in.bib", "out.bib"}, in, no_out, 2, "etal: unknown option: -x\n" + usage_line},
        {{"--keep3", "in.bib", "out.bib"}, in, no_out, 2, "etal: unknown option: --keep3\n" + usage_line},
        {{"-f"}, in, no_out, 2, "etal: option needs a value: -f\n" + usage_line},
        {{"-k", "1", "in.bib"}, in, no_out, 2, "etal: missing OUTPUT after INPUT in.bib\n" + usage_line},
        {{"-k", "7", "in.bib", "out.bib"}, in, no_out, 2, "etal: keep 7 is more than the count 6\n"},
        {{"--keep=4", "3", "in.bib", "out.bib"}, in, no_out, 2, "etal: keep 4 is more than the count 3\n"},
        {{"-k0", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid keep: 0\n"},
        {{"--keep", "+1", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid keep: +1\n"},
        {{"-f", "author,", "in.bib", "out.bib"}, in, no_out, 2, "etal: empty field name in \"author,\"\n"},
        {{"--fields=book author", "in.bib", "out.bib"}, in, no_out, 2, "etal: invalid field name: \"book author\"\n"},
    });
}

TEST(CommandLine, ReportsFileFailuresAndLeavesTheInputAlone)
{
    const files in = {{"in.bib", long_list}};
    const files in_and_out = {{"in.bib", long_list}, {"out.bib", "kept\n"}};
    check({
        // the output is neither created nor truncated when the input fails
        {{"missing.bib", "out.bib"}, {}, {{"out.bib", std::nullopt}}, 1,
         "etal: missing.bib: No such file or directory\n"},
        {{"missing.bib", "out.bib"}, {{"out.bib", "kept\n"}}, {}, 1, "etal: missing.bib: No such file or directory\n"},
        {{".", "out.bib"}, in_and_out, {}, 1, "etal: .: Is a directory\n"},
        // one file under several names
        {{"in.bib", "in.bib"}, in, {}, 1, "etal: in.bib: input file is output file\n"},
        {{"in.bib", "./in.bib"}, in, {}, 1, "etal: ./in.bib: input file is output file\n"},
        {{"in.bib", "sub/../in.bib"}, {{"in.bib", long_list}, {"sub/x", ""}}, {}, 1,
         "etal: sub/../in.bib: input file is output file\n"},
        // the output cannot be created
        {{"in.bib", "nowhere/out.bib"}, in, {}, 1, "etal: nowhere/out.bib: No such file or directory\n"},
        {{"in.bib", "sub"}, {{"in.bib", long_list}, {"sub/x", ""}}, {}, 1, "etal: sub: Is a directory\n"},
#ifndef _WIN32
        // a write fails: disk full
        {{"in.bib", "/dev/full"}, in, {}, 1, "etal: /dev/full: No space left on device\n"},
        // a read fails (address 0 of the process is never mapped)
        {{"/proc/self/mem", "out.bib"}, {}, {{"out.bib", ""}}, 1, "etal: /proc/self/mem: Input/output error\n"},
#endif
    });
}

TEST(CommandLine, RewritesInPlaceChecksAndTellsOfEachCut)
{
    const std::string entry = "@a{K,\n" + long_list;
    const std::string entry_at_3 = "@a{K,\n" + long_list_at_3;
    const std::string checked = "a.bib:2: K: author has 8 names, more than 3\n";
    const std::string grue = "@a{Grue2005,\n  author = {J. Grue et al.},\n}\n";
    const std::string fabricius = "@b{Fab2016,\n  author = {H.~Voss and C. et. al.~Fabricius},\n}\n";
    const std::string gof = "@STRING{GoF = \"Erich Gamma and Richard Helm and Ralph Johnson and John Vlissides\"}\n"
                            "@book{gof95, author = GoF}\n@misc{hot, author = {Kool, W.} # { and } # GoF # \" \"}\n";
    const auto noted = [](int line) {
        return "etal: a.bib:" + std::to_string(line) + ": Fab2016: author: \"C. et. al.~Fabricius\" holds \"et al.\": fix it by hand\n";
    };
    std::vector<cli_row> rows = {
        // in place, each FILE: one with nothing to cut is left as it is
        {{"-i", "3", "a.bib", "b.bib"}, {{"a.bib", entry}, {"b.bib", "x\n"}}, {{"a.bib", entry_at_3}}, 0, ""},
        {{"-i", "a.bib"}, {{"a.bib", "author = {A and B}"}}, {}, 0, ""},
        {{"-i", "1", "a.bib"}, {{"a.bib", "x\nauthor = {A and B}"}}, {{"a.bib", "x\nauthor = {A and others }\n"}}, 0, ""},
        // a FILE that cannot be done is named, and the others are done
        {{"-i", "3", "missing.bib", "sub", "a.bib"}, {{"a.bib", entry}, {"sub/x", ""}}, {{"a.bib", entry_at_3}}, 1,
         "etal: missing.bib: No such file or directory\netal: sub: not a regular file\n"},
        // a line on each cut, from either form
        {{"-iv", "3", "a.bib"}, {{"a.bib", entry + entry}}, {{"a.bib", entry_at_3 + entry_at_3}}, 0,
         "a.bib:2: K: author cut from 8 names to 3\na.bib:4: K: author cut from 8 names to 3\n"},
        {{"--verbose", "-k1", "3", "a.bib", "out.bib"}, {{"a.bib", entry}}, {{"out.bib", "@a{K,\n" + long_list_keep_1}}, 0,
         "a.bib:2: K: author cut from 8 names to 1\n"},
        // a check: 1 when a list is over the rule, 0 when none is, 2 on trouble, which wins
        {{"--check", "3", "a.bib", "b.bib"}, {{"a.bib", entry}, {"b.bib", "x\n"}}, {}, 1, "", checked},
        {{"-c", "a.bib"}, {{"a.bib", entry}}, {}, 1, "", "a.bib:2: K: author has 8 names, more than 6\n"},
        // a list BibTeX builds from a macro or with #: told of, left as it is, and over the rule to a check
        {{"--check", "3", "m.bib"}, {{"m.bib", gof}}, {}, 1, "",
         "m.bib:2: gof95: author is the macro GoF, 4 names, more than 3: not cut\n"
         "m.bib:3: hot: author is joined with #, 5 names, more than 3: not cut\n"},
        {{"-iv", "3", "m.bib"}, {{"m.bib", gof}}, {{"m.bib", gof}}, 0,
         "m.bib:2: gof95: author is the macro GoF, 4 names, more than 3: not cut\n"
         "m.bib:3: hot: author is joined with #, 5 names, more than 3: not cut\n"},
        {{"--check", "--format=json", "5", "m.bib"}, {{"m.bib", gof}}, {}, 0, "", ""},
        // ... and so is a name that holds "et al." in a file -i leaves as it is
        {{"-iv", "a.bib"}, {{"a.bib", fabricius}}, {{"a.bib", fabricius}}, 0, noted(2)},
        // a year-named file is a FILE, never the count
        {{"--check", "2023.bib", "a.bib"}, {{"2023.bib", entry}, {"a.bib", entry_at_3}}, {}, 1, "",
         "2023.bib:2: K: author has 8 names, more than 6\n"},
        {{"--check", "3", "a.bib"}, {{"a.bib", entry_at_3}}, {}, 0, "", ""},
        {{"-cv", "3", "a.bib", "missing.bib"}, {{"a.bib", entry}}, {}, 2, "etal: missing.bib: No such file or directory\n",
         checked},
        {{"-c", "sub"}, {{"sub/x", ""}}, {}, 2, "etal: sub: Is a directory\n"},
        // "-" checks standard input, which comes first among the descriptors
        {{"--check", "3", "-"}, {{"a.bib", entry}}, {}, 1, "", "(standard input):2: K: author has 8 names, more than 3\n", "",
         "a.bib"},
        // "et al." written as a name: mended, told apart from a cut, and a problem to a check
        {{"-iv", "3", "a.bib"}, {{"a.bib", entry + "@b{L,\n author = {A and\n  Al.,\n  Et},\n}\n"}},
         {{"a.bib", entry_at_3 + "@b{L,\n author = {A and\n  others},\n}\n"}}, 0,
         "a.bib:2: K: author cut from 8 names to 3\na.bib:4: L: author ends in \"Al., Et\" written as a name, now others\n"},
        {{"--check", "a.bib"}, {{"a.bib", "@b{Barale:1975bb,\n  author = {Barale, J. and et al.},\n}\n"}}, {}, 1, "",
         "a.bib:2: Barale:1975bb: author ends in \"et al.\" written as a name\n"},
        // ... and inside the last name: mended, or left with a note that does not change the status
        {{"-iv", "a.bib"}, {{"a.bib", grue + fabricius}}, {{"a.bib", "@a{Grue2005,\n  author = {J. Grue and others},\n}\n" + fabricius}},
         0, "a.bib:2: Grue2005: author ends in \"J. Grue et al.\", \"et al.\" inside a name, now \"J. Grue and others\"\n" + noted(5)},
        {{"--check", "a.bib"}, {{"a.bib", grue + fabricius}}, {}, 1, noted(5),
         "a.bib:2: Grue2005: author ends in \"J. Grue et al.\", \"et al.\" inside a name\n"},
        {{"--check", "1", "a.bib"}, {{"a.bib", grue}}, {}, 1, "", "a.bib:2: Grue2005: author ends in \"J. Grue et al.\", \"et al.\" inside a name\n"},
        {{"--check", "a.bib"}, {{"a.bib", fabricius}}, {}, 0, noted(2)},
        // --diff: the diff -i would make, 1 when there is one, 0 when none, 2 on trouble; nothing written
        {{"--diff", "3", "a.bib", "b.bib"}, {{"a.bib", entry}, {"b.bib", "x\n"}}, {}, 1, "",
         "--- a/a.bib\n+++ b/a.bib\n@@ -1,2 +1,2 @@\n @a{K,\n-" + long_list + "+" + long_list_at_3},
        {{"--diff", "a.bib"}, {{"a.bib", entry_at_3}}, {}, 0, ""},
        {{"--diff", "3", "./missing.bib", "-"}, {{"a.bib", "x\nauthor = {A and B and C and D}"}}, {}, 2,
         "etal: ./missing.bib: No such file or directory\n",
         "--- a/-\n+++ b/-\n@@ -1,2 +1,2 @@\n x\n-author = {A and B and C and D}\n\\ No newline at end of file\n"
         "+author = {A and B and C and others }\n", "", "a.bib"},
        // --format: for GitHub's annotations, GitLab's Code Quality report, and scripts
        {{"--check", "--format=json", "3", "a.bib"}, {{"a.bib", entry}}, {}, 1, "",
         "{\"file\":\"a.bib\",\"line\":2,\"key\":\"K\",\"field\":\"author\",\"names\":8,\"count\":3,\"keep\":3,"
         "\"found\":\"cut\"}\n"},
        {{"-v", "--format=github", "3", "a.bib", "b.bib"}, {{"a.bib", entry}}, {{"b.bib", entry_at_3}}, 0,
         "::warning file=a.bib,line=2,title=etal::K: author cut from 8 names to 3\n"},
        {{"--check", "--format=gitlab", "a.bib"}, {{"a.bib", entry_at_3}}, {}, 0, "", "[]\n"},
        // ... and a name before the last that holds it, over lines too, where it stays in the list
        {{"--check", "a.bib"}, {{"a.bib", "@a{Sharma2016,\n  author = {Sharma, A. and et al. and\n  Smith,\n  J. et al. and Roe},\n}\n"}},
         {}, 0,
         "etal: a.bib:2: Sharma2016: author: \"et al.\" holds \"et al.\": fix it by hand\n"
         "etal: a.bib:2: Sharma2016: author: \"Smith, J. et al.\" holds \"et al.\": fix it by hand\n"},
        {{"-v", "1", "a.bib", "b.bib"}, {{"a.bib", "@a{K, author = {A and et al. and B}}\n@b{L, author = {et al.\tand B}}\n"}},
         {{"b.bib", "@a{K, author = {A and others }}\n@b{L, author = {et al.\tand others }}\n"}}, 0,
         "a.bib:1: K: author cut from 3 names to 1\n"
         "etal: a.bib:2: L: author: \"et al.\" holds \"et al.\": fix it by hand\na.bib:2: L: author cut from 2 names to 1\n"},
    };
#ifdef ETAL_OTHER_WRITER
    // another program appends to a.bib while etal works on it: a.bib keeps it, b.bib is done
    rows.push_back({{"-i", "3", "a.bib", "b.bib"}, {{"a.bib", entry}, {"b.bib", entry}},
                    {{"a.bib", entry + "@c{late,}\n"}, {"b.bib", entry_at_3}}, 1,
                    "etal: a.bib: changed while being shortened; left as it is\n", "", "echo '@c{late,}' >> a.bib"});
#endif
    check(rows);
}

// --diff names each file as `git apply` and `patch -p1` want it, from the
// folder they run in, however it was named.
TEST(CommandLine, NamesTheDiffFromTheCurrentFolder)
{
    temp_dir dir;
    dir.write("sub/c.bib", "@a{K,\n author = {A and B and C},\n}\n");
    const std::string folder = std::filesystem::u8path(dir.path).filename().u8string();
    const std::string whole = std::filesystem::u8path(dir.path).generic_u8string();
    const struct {
        std::string given, named;
    } rows[] = {
        {"sub/c.bib", "sub/c.bib"},
        {"./sub//c.bib", "sub/c.bib"},             // ./ and a doubled slash dropped
        {whole + "/sub/c.bib", "sub/c.bib"},       // absolute, below the current folder
        {"../" + folder + "/sub/c.bib", "sub/c.bib"},  // out and back in
        {"sub/../sub/c.bib", "sub/c.bib"},
    };
    for (const auto& r : rows) {
        const run_result result = run_etal_with_files(dir.path, {"--diff", "2", r.given}, "", "diff");
        EXPECT_EQ(result.status, 1) << r.given;
        const std::string diff = dir.read("diff").value_or("");
        EXPECT_EQ(diff.substr(0, diff.find("\n@@")), "--- a/" + r.named + "\n+++ b/" + r.named) << r.given;
    }
}

#ifdef ETAL_STAND_IN
// BibTeX, here a stand-in that reports what it was handed, reads shortened
// copies of the databases its .aux names, in a folder beside it; the .bib
// files stay as they are, and a copy is written only when its bytes change.
// BibTeX's output and status pass through; etal's own failures stop it
// before it runs.
TEST(CommandLine, RunsBibTeXOnShortenedCopies)
{
#ifdef _WIN32
    const std::string inputs = "BIBINPUTS=paper.etal;\n";
#else
    const std::string inputs = "BIBINPUTS=paper.etal:\n";
#endif
    const std::string bibtex = ETAL_STAND_IN;
    const std::string aux = "\\relax\n\\citation{K}\n\\bibstyle{plain}\n\\bibdata{refs,sub/more}\n";
    const std::string refs = "@a{K,\n" + long_list + "}\n";
    const std::string refs_at_3 = "@a{K,\n" + long_list_at_3 + "}\n";
    const std::string more = "@b{L, author = {A and B}}\n";
    const files sources = {{"paper.aux", aux}, {"refs.bib", refs}, {"sub/more.bib", more}};
    const auto with = [](files all, const files& more_files) {
        all.insert(more_files.begin(), more_files.end());
        return all;
    };
    // What the stand-in reports: its arguments, BIBINPUTS, and each database it would read.
    const auto handed = [&](const std::string& arguments, const std::string& databases) {
        return arguments + (databases.empty() ? "BIBINPUTS=(unset)\n" : inputs) + databases;
    };
    const std::string both = "database: paper.etal/refs.bib\n" + refs_at_3 + "database: paper.etal/sub/more.bib\n" + more;
    const files copies = {{"paper.etal/refs.bib", refs_at_3}, {"paper.etal/sub/more.bib", more}};
    const std::string done = "stand-in: done\n";
    const std::string paper = "my p\xc3\xa4" "per";
    const std::string ref = "R\xc3\xa9" "f";
    check({
        // the copies, cut by the rule and named as \bibdata names them; the arguments as given
        {{"3", "--run", bibtex, "-terse", "paper"}, sources, copies, 0, done,
         handed("argument: -terse\nargument: paper\n", both)},
        {{"-v", "3", "--run", bibtex, "paper.aux"}, sources, copies, 0,
         "refs.bib:2: K: author cut from 8 names to 3\nrefs.bib: 1 list cut, 0 mended, into paper.etal/refs.bib\n"
         "sub/more.bib: 0 lists cut, 0 mended, into paper.etal/sub/more.bib\n" + done,
         handed("argument: paper.aux\n", both)},
        // a copy that holds the bytes already is not written again
        {{"3", "--run", bibtex, "paper"}, with(sources, copies), {}, 0, done, handed("argument: paper\n", both)},
        // nor is one from an earlier run left for a database no longer found
        {{"3", "--run", bibtex, "paper"}, with({{"paper.aux", aux}, {"refs.bib", refs}}, {{"paper.etal/sub/more.bib", more}}),
         {{"paper.etal/refs.bib", refs_at_3}, {"paper.etal/sub/more.bib", std::nullopt}}, 0, done,
         handed("argument: paper\n", "database: paper.etal/refs.bib\n" + refs_at_3)},
        // names in any script and with blanks, arguments with quotes, as given
        {{"3", "--run", bibtex, "-x=\"a b\\\"", paper},
         {{paper + ".aux", "\\bibdata{" + ref + "}\n"}, {ref + ".bib", refs}},
         {{paper + ".etal/" + ref + ".bib", refs_at_3}}, 0, done,
         "argument: -x=\"a b\\\"\nargument: " + paper + "\n" + std::string(inputs).replace(10, 5, paper) +
             "database: " + paper + ".etal/" + ref + ".bib\n" + refs_at_3},
        // its status passes through
        {{"3", "--run", bibtex, "paper"}, sources, copies, 3, done, handed("argument: paper\n", both), "", "",
         "ETAL_STAND_IN_STATUS=3"},
        // a database named from its \@input'ed .aux, and one named by a path BibTeX opens as it is
        {{"3", "--run", bibtex, "paper"},
         {{"paper.aux", "\\@input{chapter.aux}\n"}, {"chapter.aux", "\\bibdata{refs,./sub/more}\n"}, {"refs.bib", refs},
          {"sub/more.bib", more}},
         {{"paper.etal/refs.bib", refs_at_3}}, 0,
         "etal: paper.aux: \\bibdata names ./sub/more by its path, which BibTeX opens as it is: its lists stay long "
         "(name it from a folder of BIBINPUTS instead)\n" + done,
         handed("argument: paper\n", "database: paper.etal/refs.bib\n" + refs_at_3 + "database: ././sub/more.bib\n" + more)},
        // a style that prints "others" as a name is named
        {{"3", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{achemso}\n"}}, {}, 0,
         "etal: paper.aux: the style achemso prints \"others\" as a name, not \"et al.\": give BibTeX the whole list and "
         "let achemso cut it: \\usepackage[maxauthors=6]{achemso}\n" + done,
         handed("argument: paper\n", "")},
        // ... at the rule's length: named with one name kept, apacite from seven on
        {{"-k", "1", "3", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{named}\n"}}, {}, 0,
         "etal: paper.aux: the style named prints \"others\" as a name, not \"et al.\": keep two names or more (-k 2)\n" + done,
         handed("argument: paper\n", "")},
        {{"-k", "2", "3", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{named}\n"}}, {}, 0, done,
         handed("argument: paper\n", "")},
        {{"7", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{apacite}\n"}}, {}, 0,
         "etal: paper.aux: the style apacite prints \"others\" as a name, not \"et al.\": its APA cut after six names "
         "prints the last, others, as a name: keep six names or fewer (-k 6)\n" + done,
         handed("argument: paper\n", "")},
        {{"6", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{apacite}\n"}}, {}, 0, done, handed("argument: paper\n", "")},
        // ... and none where the style cuts the list itself: achemso above fifteen names, pnas-new above five
        {{"20", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{achemso}\n"}}, {}, 0, done, handed("argument: paper\n", "")},
        {{"-k", "4", "6", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{pnas-new}\n"}}, {}, 0,
         "etal: paper.aux: the style pnas-new prints \"others\" as a name, not \"et al.\": give BibTeX the whole list: "
         "pnas-new cuts a list of more than five names itself\n" + done,
         handed("argument: paper\n", "")},
        {{"-k", "5", "6", "--run", bibtex, "paper"}, {{"paper.aux", "\\bibstyle{pnas-new}\n"}}, {}, 0, done,
         handed("argument: paper\n", "")},
        // ... and ACL's acl_natbib.bst told by the file BibTeX finds: the version that counts the others, not the current one
        {{"3", "--run", bibtex, "paper"},
         {{"paper.aux", "\\bibstyle{acl_natbib}\n"}, {"acl_natbib.bst", "t \"others\" =\n { \" and \" * numnames nameptr - #1 + int.to.str$ * \" others\" * }\n"}},
         {}, 0,
         "etal: paper.aux: the style acl_natbib prints \"others\" as a name, not \"et al.\", counting the names left out "
         "(\"and 2 others\"): use the current acl_natbib.bst of ACL's kit, which prints \"et al.\"\n" + done,
         handed("argument: paper\n", "")},
        {{"3", "--run", bibtex, "paper"},
         {{"paper.aux", "\\bibstyle{acl_natbib}\n"},
          {"acl_natbib.bst", "#1 'truncated :=\ns numnames \"{ll}\" format.name$ duplicate$ \"others\" =\n"
                             "{ \" \" * bbl.etal * } { \" and \" * numnames nameptr - #1 + int.to.str$ * \" others\" * }\n"}},
         {}, 0, done, handed("argument: paper\n", "")},
        // no .aux, or none to read: BibTeX says so itself
        {{"--run", bibtex}, {}, {}, 0, done, handed("", "")},
        {{"--run", bibtex, "missing"}, {}, {}, 0, done, handed("argument: missing\n", "")},
        // etal's own failures stop it first
        {{"3", "--run", bibtex, "paper"}, with(sources, {{"paper.etal", "a file"}}), {}, 2,
         "etal: paper.etal: Not a directory\n"},
        {{"3", "--run", "no-such-bibtex", "paper"}, sources, copies, 127, "etal: no-such-bibtex: No such file or directory\n"},
    });
}
#endif

#ifdef __linux__
// Every extended attribute of a file, its ACL among them, "name=value" a line
// in the order of the names.
std::string attributes_of(const std::filesystem::path& file)
{
    char names[4096];
    const ssize_t size = listxattr(file.c_str(), names, sizeof names);
    std::map<std::string, std::string> values;
    for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t got = getxattr(file.c_str(), names + at, value, sizeof value);
        values[names + at].assign(value, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    std::string all;
    for (const auto& [name, value] : values)
        all += name + "=" + value + "\n";
    return all;
}

// An ACL as the kernel stores it: the owner rw, the user nobody rw, the
// group and others r; as a directory's default, the same for new files.
void give_acl(const std::filesystem::path& file, const char* kind = "system.posix_acl_access")
{
    std::string acl = {2, 0, 0, 0};  // version 2, then tag, permissions, id: little-endian
    const auto entry = [&acl](int tag, int permissions, std::uint32_t id) {
        for (const std::uint32_t part : {static_cast<std::uint32_t>(tag | permissions << 16), id})
            for (int shift = 0; shift < 32; shift += 8)
                acl.push_back(static_cast<char>(part >> shift));
    };
    entry(0x01, 6, UINT32_MAX);  // the owner
    entry(0x02, 6, 65534);       // nobody
    entry(0x04, 4, UINT32_MAX);  // the group
    entry(0x10, 6, UINT32_MAX);  // the mask
    entry(0x20, 4, UINT32_MAX);  // others
    ASSERT_EQ(setxattr(file.c_str(), kind, acl.data(), acl.size(), 0), 0) << kind;
}
#endif

// A file rewritten in place keeps its name, kind and permissions; one with
// nothing to cut, or refused, or whose rewrite fails, stays the very same
// file, time stamp included, and no temporary file is left.
TEST(CommandLine, RewritesInPlaceWithoutLosingAFile)
{
    namespace fs = std::filesystem;
    struct row {
        std::string what;
        std::function<void(const temp_dir&)> setup;  // after a.bib holds `long_list`
        std::vector<std::string> args;
        int status;
        std::string error;
        bool rewritten;  // a.bib then holds `long_list_at_3`
        child_limits limits = {};
    };
    const auto nothing = [](const temp_dir&) {};
    const std::string refused = "etal: a.bib: ";
    std::vector<row> rows = {
        {"cut", nothing, {"-i", "3", "a.bib"}, 0, "", true},
        {"nothing to cut", nothing, {"-i", "8", "a.bib"}, 0, "", false},
        {"a hard link", [](const temp_dir& d) { fs::create_hard_link(d / "a.bib", d / "b.bib"); },
         {"-i", "3", "a.bib"}, 1, refused + "has 2 hard links, which a rewrite in place would split\n", false},
#ifdef _WIN32
        {"read-only", [](const temp_dir& d) { fs::permissions(d / "a.bib", fs::perms::owner_write, fs::perm_options::remove); },
         {"-i", "3", "a.bib"}, 1, refused + "read-only file\n", false},
#else
        // a symbolic link (Wine makes none)
        {"a link's target", [](const temp_dir& d) { fs::create_symlink("a.bib", d / "link.bib"); },
         {"-i", "3", "link.bib"}, 0, "", true},
        {"mode 0640", [](const temp_dir& d) { fs::permissions(d / "a.bib", fs::perms(0640)); }, {"-i", "3", "a.bib"}, 0, "", true},
        {"read-only, as sed -i does", [](const temp_dir& d) { fs::permissions(d / "a.bib", fs::perms(0444)); },
         {"-i", "3", "a.bib"}, 0, "", true},
        {"a FIFO", [](const temp_dir& d) { mkfifo((d / "f.bib").c_str(), 0644); }, {"-i", "3", "f.bib"}, 1,
         "etal: f.bib: not a regular file\n", false},
        {"a file-size limit", nothing, {"-i", "3", "a.bib"}, 1, refused + "File too large\n", false, {0, 16}},
        {"a directory it cannot write", [](const temp_dir& d) { fs::permissions(d / "", fs::perms(0555)); },
         {"-i", "3", "a.bib"}, 1, refused + "cannot create a temporary file beside it: Permission denied\n", false,
         {0, 0, true}},
#endif
    };
#ifdef __linux__
    // The ACL and attributes (the property below): kept, not gained from the directory.
    rows.push_back({"an ACL and a user. attribute", [](const temp_dir& d) {
                        give_acl(d / "a.bib");
                        setxattr((d / "a.bib").c_str(), "user.note", "keep", 4, 0);
                    }, {"-i", "3", "a.bib"}, 0, "", true});
    rows.push_back({"an ACL that the directory would give",
                    [](const temp_dir& d) { give_acl(d / "", "system.posix_acl_default"); }, {"-i", "3", "a.bib"}, 0, "",
                    true});
#endif
#ifndef _WIN32
    if (geteuid() == 0) {  // only root makes a file that another user can read but not own
        rows.push_back({"an owner it cannot give", [](const temp_dir& d) { fs::permissions(d / "", fs::perms(0777)); },
                        {"-i", "3", "a.bib"}, 1,
                        refused + "cannot give a new file its owner and group: Operation not permitted\n", false,
                        {0, 0, true}});
#ifdef __linux__
        // nobody's own file, with an attribute that only an administrator sets
        rows.push_back({"an attribute it cannot give", [](const temp_dir& d) {
                            fs::permissions(d / "", fs::perms(0777));
                            ASSERT_EQ(chown((d / "a.bib").c_str(), 65534, 65534), 0);
                            setxattr((d / "a.bib").c_str(), "security.etal", "label", 5, 0);
                        }, {"-i", "3", "a.bib"}, 1,
                        refused + "cannot give a new file its extended attribute security.etal: Operation not permitted\n",
                        false, {0, 0, true}});
#endif
    }
#endif
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        temp_dir dir;
        dir.write("a.bib", long_list);
        const fs::path file = dir / "a.bib";
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
        r.setup(dir);
        const auto time_before = fs::last_write_time(file);
        const fs::perms perms_before = fs::status(file).permissions();
#ifdef __linux__
        const std::string attributes_before = attributes_of(file);
#endif
#ifdef _WIN32
        const run_result result = run_etal(dir.path, r.args);
#else
        struct stat before {};
        stat(file.c_str(), &before);
        const run_result result = finish_etal(start_etal(dir.path, r.args, -1, -1, r.limits));
        struct stat after {};
        stat(file.c_str(), &after);
        EXPECT_EQ(after.st_ino == before.st_ino, !r.rewritten);
#endif
        EXPECT_EQ(result.status, r.status);
        EXPECT_EQ(result.error, r.error);
        EXPECT_EQ(dir.read("a.bib"), r.rewritten ? long_list_at_3 : long_list);
        EXPECT_EQ(fs::status(file).permissions(), perms_before);
#ifdef __linux__
        EXPECT_EQ(attributes_of(file), attributes_before);
#endif
        if (!r.rewritten) {
            EXPECT_TRUE(fs::last_write_time(file) == time_before);
        }
        EXPECT_TRUE(r.args.back() != "link.bib" || fs::is_symlink(dir / "link.bib"));
        fs::permissions(dir / "", fs::perms(0755));
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
        for (const auto& entry : fs::directory_iterator(dir / ""))
            EXPECT_EQ(entry.path().filename().u8string().find(".etal-"), std::string::npos) << "left behind";
    }
}

#ifndef _WIN32
TEST(CommandLine, RefusesLinksToTheInput)
{
    for (const bool symbolic : {false, true}) {
        temp_dir dir;
        dir.write("in.bib", long_list);
        const std::string target = dir.path + "/in.bib";
        const std::string link_path = dir.path + "/link.bib";
        ASSERT_EQ(symbolic ? symlink(target.c_str(), link_path.c_str()) : link(target.c_str(), link_path.c_str()), 0);
        const run_result result = run_etal(dir.path, {"in.bib", "link.bib"});
        EXPECT_EQ(result.status, 1) << "symbolic " << symbolic;
        EXPECT_EQ(result.error, "etal: link.bib: input file is output file\n");
        EXPECT_EQ(dir.read("in.bib"), long_list);
    }
}
#endif

#ifndef _WIN32
// "-" is a standard stream, "./-" a file; the same-file refusal holds
// through "-" either way round.
TEST(CommandLine, TakesADashForTheStandardStreams)
{
    temp_dir dir;
    dir.write("-", long_list);
    dir.write("in.bib", long_list);
    run_result result = run_etal(dir.path, {"3", "./-", "out.bib"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(dir.read("out.bib"), long_list_at_3);

    result = run_etal(dir.path, {"3", "-", "piped.bib"}, long_list);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(dir.read("piped.bib"), long_list_at_3);

    const std::string in_path = dir.path + "/in.bib";
    const int in_file = open(in_path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(in_file, 0);
    const struct {
        std::vector<std::string> args;
        int input_fd, output_fd;
        std::string error;
    } refused[] = {
        {{"3", "-", "in.bib"}, in_file, -1, "etal: in.bib: input file is output file\n"},
        {{"3", "in.bib", "-"}, -1, in_file, "etal: standard output: input file is output file\n"},
    };
    for (const auto& r : refused) {
        result = finish_etal(start_etal(dir.path, r.args, r.input_fd, r.output_fd));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.error, r.error);
        EXPECT_EQ(dir.read("in.bib"), long_list);
    }
    close(in_file);

    const int folder = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    result = finish_etal(start_etal(dir.path, {"-", "out2.bib"}, folder));
    close(folder);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.error, "etal: standard input: Is a directory\n");
    EXPECT_EQ(dir.read("out2.bib"), std::nullopt);
}
#endif

#ifndef _WIN32
TEST(CommandLine, ReportsAnUnreadableInput)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    temp_dir dir;
    dir.write("in.bib", long_list);
    chmod((dir.path + "/in.bib").c_str(), 0);
    const run_result result = run_etal(dir.path, {"in.bib", "out.bib"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.error, "etal: in.bib: Permission denied\n");
    EXPECT_EQ(dir.read("out.bib"), std::nullopt);
}
#endif

struct content_row {
    std::string input;
    std::string output;  // at the default limit
};

// Each row runs twice where there is /dev/stdin: the input as a file, and as
// a pipe read through it.
TEST(CommandLine, CopiesEveryLineWithOneLineFeed)
{
    const std::vector<content_row> rows = {
        {"", ""},
        {"\n", "\n"},
        {"a\n\nb\n", "a\n\nb\n"},
        // a last line without its line feed gets one
        {"a\nb", "a\nb\n"},
        {long_list.substr(0, long_list.size() - 1), long_list_at_6},
        // CRLF: kept on every line, shortened ones too
        {"@article{x,\r\n" + long_list.substr(0, long_list.size() - 1) + "\r\n}\r\n",
         "@article{x,\r\n" + long_list_at_6.substr(0, long_list_at_6.size() - 1) + "\r\n}\r\n"},
        // NUL and 8-bit bytes pass through
        {std::string("a\0b\xff\n", 5), std::string("a\0b\xff\n", 5)},
    };
    for (const content_row& r : rows) {
        temp_dir dir;
        dir.write("in.bib", r.input);
        run_result result = run_etal(dir.path, {"in.bib", "out.bib"});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(dir.read("out.bib"), r.output) << "input: " << r.input;
#ifndef _WIN32
        result = run_etal(dir.path, {"/dev/stdin", "piped.bib"}, r.input);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(dir.read("piped.bib"), r.output) << "piped input: " << r.input;
#endif
    }
}

#ifndef _WIN32
// /dev/stdin and /dev/stdout on one terminal are one file, but not a regular
// one: reading and writing it is fine.
TEST(CommandLine, FiltersOneTerminalAsBothInputAndOutput)
{
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const int user_side = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(user_side, 0);
    termios mode{};
    tcgetattr(user_side, &mode);
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);  // only etal's own output comes back
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tcsetattr(user_side, TCSANOW, &mode);

    const std::string typed = "x\n" + long_list + "\x04";  // then end of file, as ^D
    ASSERT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    temp_dir dir;
    const run_result result = run_etal(dir.path, {"/dev/stdin", "/dev/stdout"}, std::nullopt, user_side);
    close(user_side);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(got));
    close(terminal);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(output, "x\n" + long_list_at_6);
}
#endif

#ifndef _WIN32
TEST(CommandLine, ReportsALineTooLongForMemory)
{
#if defined(ETAL_SANITIZED) || defined(ETAL_EMULATOR)
    GTEST_SKIP() << "the sanitizers, or an emulator, need more address space than the limit allows";
#endif
    temp_dir dir;
    dir.write("in.bib", "first\n" + std::string(96 << 20, 'x') + "\nlast\n");
    const run_result result = run_etal(dir.path, {"in.bib", "out.bib"}, std::nullopt, -1, {64 << 20});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.error, "etal: in.bib: line too long to hold in memory\n");
    EXPECT_EQ(dir.read("out.bib"), "first\n");
}
#endif

// The program gives what the rule gives over the whole text, read in blocks
// that split lines and values anywhere.
TEST(CommandLine, WritesWhatTheRuleGivesOnGeneratedFiles)
{
    std::mt19937 random(7);
    const std::string input = random_file(random, 30000);
    temp_dir dir;
    dir.write("in.bib", input);
    for (const std::int32_t count : {1, 3, 6, 2147483647}) {
        const run_result result = run_etal(dir.path, {std::to_string(count), "in.bib", "out.bib"});
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(dir.read("out.bib") == filter_text(input, {count})) << "count " << count;
    }
    // -i too, on a file that it sends to disk in several steps as it writes.
    std::string large;
    while (large.size() < (std::size_t{20} << 20))
        large += input;
    dir.write("large.bib", large);
    const run_result rewritten = run_etal(dir.path, {"-i", "3", "large.bib"});
    EXPECT_EQ(rewritten.status, 0);
    EXPECT_TRUE(dir.read("large.bib") == filter_text(large, {3}));
}

// Over generated files, for every rule: -i leaves each file untouched, a
// missing last line feed included, or writes what the copy writes; --check
// names exactly the files with a list to cut or mend, once for each such
// list, and exits 1 exactly when there is one.
TEST(CommandLine, RewritesAndChecksGeneratedFilesAsTheCopyCutsThem)
{
    std::mt19937 random(16);
    const std::vector<std::vector<std::string>> rules = {
        {"1"}, {"3"}, {"-k", "1", "4"}, {"-k", "2", "--fields=author,editor", "2"}, {"--fields=EDITOR", "3"}};
    const std::vector<list_rule> as_run = {{1}, {3}, {4, 1}, {2, 2, {"author", "editor"}}, {3, 0, {"EDITOR"}}};
    for (std::size_t i = 0; i < rules.size(); ++i) {
        temp_dir dir;
        std::vector<std::string> names;
        std::vector<std::string> texts;
        for (int file = 0; file < 40; ++file) {
            names.push_back("f" + std::to_string(file) + ".bib");
            texts.push_back(random_file(random, 1 + random() % 40));
            dir.write(names.back(), texts.back());
        }
        std::vector<std::string> args = rules[i];
        args.insert(args.begin(), "--check");
        args.insert(args.end(), names.begin(), names.end());
        const run_result checked = run_etal_with_files(dir.path, args, "", "checked");
        args[0] = "-i";
        const run_result rewritten = run_etal(dir.path, args);
        const std::string printed = dir.read("checked").value_or("");
        bool any_cut = false;
        for (std::size_t file = 0; file < names.size(); ++file) {
            list_filter filter(as_run[i]);
            const std::string copy = filter_text(texts[file], filter);
            const std::uint64_t cuts = filter.lists_cut() + filter.lists_mended();
            EXPECT_TRUE(dir.read(names[file]) == (cuts > 0 ? copy : texts[file])) << names[file] << " " << rules[i].back();
            // --check tells of the lists left long too, which only BibTeX builds
            list_filter checking(as_run[i], cut_notes::alone);
            filter_text(texts[file], checking);
            const std::uint64_t told = cuts + checking.lists_left_long();
            any_cut = any_cut || told > 0;
            std::size_t named = 0;
            for (std::size_t at = 0; (at = printed.find("\n" + names[file] + ":", at)) != std::string::npos; ++at)
                ++named;
            EXPECT_EQ(named + (printed.rfind(names[file] + ":", 0) == 0 ? 1 : 0), told) << names[file];
        }
        EXPECT_EQ(checked.status, any_cut ? 1 : 0);
        EXPECT_EQ(rewritten.status, 0);
        EXPECT_EQ(rewritten.error, "");
    }
}

struct layout_row {
    std::vector<std::string> options;  // before INPUT
    std::string input;
    std::string output;
};

// Name lists in the layouts exporters write, cut with the options of each row.
TEST(CommandLine, ShortensListsInEveryLayout)
{
    const std::string names_a_line = [] {
        std::string list = "  author = {N0 and\n";
        for (int i = 1; i < 3000; ++i)
            list += "    N" + std::to_string(i) + (i < 2999 ? " and\n" : "},\n");
        return list;
    }();
    const std::vector<layout_row> rows = {
        // one name a line (dblp) and a filled list (Emacs)
        {{"3"}, "  author = {A and\n      B and\n      C and\n      D},\n",
         "  author = {A and\n      B and\n      C and\n      others },\n"},
        {{"3"}, "  Author = \"A\n     and B\n     and C\n     and D\",\n",
         "  Author = \"A\n     and B\n     and C\n     and others\",\n"},
        {{"3"}, "author = {A and B and C and D and\n E},\n", "author = {A and B and C and others },\n"},
        {{"3"}, "author = {A and B and C and\n D and E},\n", "author = {A and B and C and\n others },\n"},
        // a whole entry on one line keeps what follows the list
        {{"3"}, "@a{K, title={Authoritarian and X}, author={A and B and C and D}, year={2024} }\n",
         "@a{K, title={Authoritarian and X}, author={A and B and C and others }, year={2024} }\n"},
        {{"3"}, "  author = {A and B and C and D}}\n", "  author = {A and B and C and others }}\n"},
        // names in braces, and a concatenation: left whole
        {{"3"}, "author = {{Barnes and Noble} and A and B},\n", "author = {{Barnes and Noble} and A and B},\n"},
        {{"3"}, "author = {A and\n B and C and D} # \" and E\",\n", "author = {A and\n B and C and D} # \" and E\",\n"},
        // a value that never closes is given up at the next entry, which is judged afresh
        {{"3"}, "  author = {A and\n B and\n C and\n D,\n@b{L,\n author = {A and B and C and D},\n",
         "  author = {A and\n B and\n C and\n D,\n@b{L,\n author = {A and B and C and others },\n"},
        // ... or at the end of the input, with no line feed
        {{"3"}, "author = {A and B and C and\n D and E", "author = {A and B and C and\n D and E\n"},
        // CRLF: kept on the lines before the cut, dropped with the cut
        {{"3"}, "@a{K,\r\n author = {A and\r\n   B and C and D and E},\r\n}\r\n",
         "@a{K,\r\n author = {A and\r\n   B and C and others },\r\n}\r\n"},
        {{"3"}, "author = {A and B and C and\r\n  D}}\r\n", "author = {A and B and C and\r\n  others }}\r\n"},
        // a line end inside a name or before `and` reads as a space
        {{"3"}, "author = {Devin,\n\t Matthieu and B and C\n  and D},\n", "author = {Devin,\n\t Matthieu and B and C\n  and others },\n"},
        {{"3"}, "author = {A\nand\nB and C and D},\n", "author = {A\nand\nB and C and others },\n"},
        // 等 after the last person, over lines, as real theses write it
        {{"3"}, "author = {曹健渭 and\n 卢荣胜 and\n 雷丽巧，等},\r\n", "author = {曹健渭 and\n 卢荣胜 and\n 雷丽巧 and others},\r\n"},
        // 3,000 names one a line
        {{"3"}, names_a_line, "  author = {N0 and\n    N1 and\n    N2 and\n    others },\n"},
        // a name ending in "and" at a line end is no separator
        {{"2"}, "  author = {Ferdinand\n    A and Roland\n    B and C},\n",
         "  author = {Ferdinand\n    A and Roland\n    B and others },\n"},
        // fewer names kept than counted: the lines from the cut wait for the count
        {{"-k", "1", "6"}, "  author = {A and B and C and D and E and F and G},\n", "  author = {A and others },\n"},
        {{"-k", "1", "6"}, "  author = {A and B and C and D and E and F},\n", "  author = {A and B and C and D and E and F},\n"},
        {{"-k", "2", "3"}, "  author = {A and\n      B and\n      C and\n      D},\n",
         "  author = {A and\n      B and\n      others },\n"},
        {{"-k", "1", "3"}, "  author = {A and\n  B and\n  C},\n", "  author = {A and\n  B and\n  C},\n"},
        {{"-k", "1", "6"}, "  author = {A and B and C and D and E and F and\n G},\n", "  author = {A and others },\n"},
        {{"-k", "1", "6"}, names_a_line, "  author = {N0 and\n    others },\n"},
        // "et al." written as a name, on its own line, over two, or before a line end
        {{"3"}, "  author = {A and\n    B and\n    et al.},\n", "  author = {A and\n    B and\n    others},\n"},
        {{"6"}, "  author = {Lee, A. and Ruiz, B. and et\r\n    al.},\r\n", "  author = {Lee, A. and Ruiz, B. and others},\r\n"},
        {{"6"}, "  author = {A and {Et\n    Al.}\n  },\n", "  author = {A and others\n  },\n"},
        {{"6"}, "  author = {A and et al.\n\n  },\n}\n", "  author = {A and others\n\n  },\n}\n"},
        // ... or not, after all: no line waits for ever
        {{"6"}, "  author = {A and et\n    alii and B},\n", "  author = {A and et\n    alii and B},\n"},
        {{"6"}, "  author = {A and Others\n    and B},\n", "  author = {A and Others\n    and B},\n"},
        // fewer kept than the count: under it mended, over it cut
        {{"-k", "1", "3"}, "  author = {A and\n  B and\n  et al.},\n", "  author = {A and\n  B and\n  others},\n"},
        {{"-k", "1", "2"}, "  author = {A and\n  B and\n  et al.},\n", "  author = {A and\n  others },\n"},
        {{"2"}, "  author = {A and\n  B and\n  et\n al.},\n", "  author = {A and\n  B and\n  others},\n"},
        // "et al." inside the last name, over two lines; kept fewer than the count
        {{"6"}, "  author = {A and\n    J. Grue\r\n    et al.},\r\n", "  author = {A and\n    J. Grue and others},\r\n"},
        {{"6"}, "  author = {A and Krzywinski,\n    Martin, et al.\n  },\n", "  author = {A and Krzywinski,\n    Martin and others\n  },\n"},
        {{"6"}, "  author = {A and J. Grue\n    and B},\n", "  author = {A and J. Grue\n    and B},\n"},
        // ... but not where an "and" of the person, after a line end, would join a separator
        {{"6"}, "  author = {A and\n\n    and~et\n    al.},\n", "  author = {A and\n\n    and~et\n    al.},\n"},
        {{"6"}, "  author = {A and Grue\n    and, et al.},\n", "  author = {A and Grue\n    and, et al.},\n"},
        {{"-k", "3", "3"}, "  author = {A and B and\n  J. Grue et al.},\n", "  author = {A and B and\n  J. Grue and others},\n"},
        {{"-k", "1", "3"}, "  author = {A and B and\n  J. Grue et al.},\n", "  author = {A and others },\n"},
        // every listed field, and every one on a line
        {{"-f", "author,editor", "3"}, "@a{K, author={A and B and C and D}, editor={E and F and G and H}, year={2024} }\n",
         "@a{K, author={A and B and C and others }, editor={E and F and G and others }, year={2024} }\n"},
        {{"-f", "editor", "2"}, "  author = {A and B and C},\n  editor = {E and F and G},\n",
         "  author = {A and B and C},\n  editor = {E and F and others },\n"},
        {{"3"}, "@a{K, author={A and B and C and D}, bookauthor={E and F and G and H} }\n",
         "@a{K, author={A and B and C and others }, bookauthor={E and F and G and others } }\n"},
        {{"-k1", "-f", "author", "-feditor", "2"}, "@a{K, author={A and\n B and C}, editor={E and F and\n G and H}, x=1 }\n",
         "@a{K, author={A and\n others }, editor={E and others }, x=1 }\n"},
        // a concatenation or a stray brace ends the search on its line
        {{"-f", "author,editor", "2"}, "author = {A and B and C} # \" and D\", editor = {E and F and G},\n",
         "author = {A and B and C} # \" and D\", editor = {E and F and G},\n"},
        {{"-f", "author,editor", "1"}, "author = \"A} and B\", editor = {E and F and G},\n",
         "author = \"A} and B\", editor = {E and F and G},\n"},
    };
    for (const layout_row& r : rows) {
        temp_dir dir;
        dir.write("in.bib", r.input);
        std::vector<std::string> args = r.options;
        args.insert(args.end(), {"in.bib", "out.bib"});
        const run_result result = run_etal(dir.path, args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(dir.read("out.bib"), r.output) << "input: " << r.input.substr(0, 200);
    }
}

// Past the bound on held lines the list is copied unchanged, and what follows
// is judged as usual.
TEST(CommandLine, CopiesAListTooLongToHold)
{
    std::string input = "author = {A and B and C and D and\n";
    while (input.size() <= held_lines_limit)
        input += "  Name, Some and\n";
    input += "  Z},\n";
    temp_dir dir;
    dir.write("in.bib", input + "author = {A and B and C and D},\n");
    const run_result result = run_etal(dir.path, {"3", "in.bib", "out.bib"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(dir.read("out.bib") == input + "author = {A and B and C and others },\n");
}

TEST(CommandLine, ShortensRealEntries)
{
    temp_dir dir;
    const std::string data = ETAL_TEST_DATA;
    const run_result result = run_etal(dir.path, {"3", data + "/excerpt.bib", "out.bib"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.error, "");
    std::ifstream expected(data + "/excerpt.3.bib", std::ios::binary);
    EXPECT_EQ(dir.read("out.bib"), std::string(std::istreambuf_iterator<char>(expected), {}));
}

// One file under other names, bytes that a text mode would change, and names
// in other scripts: where Windows differs from POSIX systems, it must still
// behave as they do. Each row runs etal 2 with standard input and output
// from and to the files named.
TEST(CommandLine, KeepsEveryByteAndRefusesTheInputUnderEveryName)
{
    // LF and CRLF, a 0x1A (which ends a file read in text mode), no last LF
    const std::string input = "@a{K,\n author = {A and B and C},\r\n title = {x\x1a y},\n}";
    const std::string output = "@a{K,\n author = {A and B and others },\r\n title = {x\x1a y},\n}\n";
    const std::string refused = ": input file is output file\n";
    struct row {
        std::vector<std::string> args;
        std::string stdin_name, stdout_name;
        int status;
        std::string error;
        std::string written;  // the file that then holds `output`
    };
    std::vector<row> rows = {
        {{"keep.bib", "keep.bib"}, "", "", 1, "etal: keep.bib" + refused, ""},
        {{"keep.bib", "./keep.bib"}, "", "", 1, "etal: ./keep.bib" + refused, ""},
        {{"keep.bib", "link.bib"}, "", "", 1, "etal: link.bib" + refused, ""},
        {{"-", "keep.bib"}, "keep.bib", "", 1, "etal: keep.bib" + refused, ""},
        {{"keep.bib", "-"}, "", "keep.bib", 1, "etal: standard output" + refused, ""},
        // every byte kept, through files and through "-" both ways
        {{"keep.bib", "out.bib"}, "", "", 0, "", "out.bib"},
        {{"-", "-"}, "keep.bib", "piped.bib", 0, "", "piped.bib"},
        // names in Cyrillic and in CJK, as INPUT, as OUTPUT and in a message
        {{"Литература.bib", "Литература-2.bib"}, "", "", 0, "", "Литература-2.bib"},
        {{"文献.bib", "文献-2.bib"}, "", "", 0, "", "文献-2.bib"},
        {{"Нет.bib", "out.bib"}, "", "", 1, "etal: Нет.bib: No such file or directory\n", ""},
    };
#ifdef _WIN32
    rows.push_back({{"keep.bib", "KEEP.BIB"}, "", "", 1, "etal: KEEP.BIB" + refused, ""});
    rows.push_back({{"keep.bib", ".\\keep.bib"}, "", "", 1, "etal: .\\keep.bib" + refused, ""});
#endif
    for (const row& r : rows) {
        temp_dir dir;
        for (const char* name : {"keep.bib", "Литература.bib", "文献.bib"})
            dir.write(name, input);
        std::filesystem::create_hard_link(dir / "keep.bib", dir / "link.bib");
        std::vector<std::string> args = {"2"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const run_result result = run_etal_with_files(dir.path, args, r.stdin_name, r.stdout_name);
        SCOPED_TRACE(r.args[0] + " " + r.args[1]);
        EXPECT_EQ(result.status, r.status);
        EXPECT_EQ(result.error, r.error);
        EXPECT_EQ(dir.read("keep.bib"), input);
        if (!r.written.empty()) {
            EXPECT_EQ(dir.read(r.written), output);
        }
    }
#ifdef _WIN32
    // The 8.3 name of a long one, where the file system gives one.
    temp_dir dir;
    dir.write("a long name.bib", input);
    wchar_t short_path[MAX_PATH];
    const DWORD size = GetShortPathNameW((dir / "a long name.bib").c_str(), short_path, MAX_PATH);
    const std::string short_name = std::filesystem::path(std::wstring(short_path, size)).filename().u8string();
    if (size > 0 && short_name != "a long name.bib") {
        const run_result result = run_etal(dir.path, {"2", "a long name.bib", short_name});
        EXPECT_EQ(result.status, 1) << short_name;
        EXPECT_EQ(result.error, "etal: " + short_name + refused);
        EXPECT_EQ(dir.read("a long name.bib"), input);
    }
#endif
}

}  // namespace
