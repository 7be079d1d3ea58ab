// The command line: etal's three forms and their options, read into the run
// they ask for, or into the text to print instead.
#pragma once

#include "author_list.h"

#include <optional>
#include <string>
#include <vector>

/// Exit status of a wrong command line; 1 is a file's trouble, or for
/// --check a list over the rule.
inline constexpr int exit_usage = 2;

/// What a run does with its files.
enum class run_form {
    copy,      // INPUT to OUTPUT, each line written as soon as it is judged
    in_place,  // each FILE rewritten where it is
    check,     // each FILE only read, telling of each list over the rule
    build,     // COMMAND, a BibTeX, run on shortened copies of the databases it reads
    diff,      // each FILE only read, printing the unified diff that -i would make
};

/// How the lists found are told of, by --check and -v.
enum class report_format {
    text,    // FILE:LINE: KEY: FIELD ..., a line each
    github,  // ::warning file=FILE,line=LINE,title=etal::MESSAGE, a line each
    gitlab,  // one Code Quality report: a JSON array
    json,    // one JSON object a line
};

/// A run, as the command line asks for it.
struct filter_options {
    run_form form = run_form::copy;
    list_rule rule;
    /// INPUT and OUTPUT, or each FILE; "-" is a standard stream.
    std::vector<std::string> paths;
    /// With --run, COMMAND and its arguments, as given.
    std::vector<std::string> command;
    /// Tell of each list cut on standard error.
    bool verbose = false;
    report_format format = report_format::text;
};

/// What the command line asks for: a run, or text to print and an exit
/// status: the help or the version for standard output with status 0, or a
/// complaint (each line ending in a line feed) for standard error.
struct command_line {
    std::optional<filter_options> run;
    std::string text;
    int exit_status = 0;
};

/// Reads the arguments, the program's name first, all of them before any
/// file is touched, as GNU getopt does: options may stand anywhere, "--"
/// ends them, and every argument after "--run" is COMMAND's ("-" alone and
/// a sign with a digit are operands). The copy form reads its first operand
/// as atoi does, a count where it starts with a number (42refs.bib is 42);
/// the others only where it is a number alone (2023.bib is a file). Never
/// prints.
command_line parse_command_line(const std::vector<std::string>& args);
