#include "command_line.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

constexpr std::int32_t default_author_limit = 6;

// Ends the options and the count: what follows is a command and its
// arguments, which may look like etal's own.
constexpr std::string_view run_option = "--run";

constexpr std::string_view several_files_text =
    "usage: etal -i [OPTION]... [COUNT] FILE...  to rewrite several files in place\n";

constexpr std::string_view usage_text =
    "usage: etal [OPTION]... [COUNT] INPUT OUTPUT\n"
    "       etal -i [OPTION]... [COUNT] FILE...\n"
    "       etal --check [OPTION]... [COUNT] FILE...\n"
    "       etal --diff [OPTION]... [COUNT] FILE...\n"
    "       etal [OPTION]... [COUNT] --run COMMAND [ARG]...\n";

// Kept in step with the manual's SYNOPSIS and OPTIONS.
constexpr std::string_view help_text =
    "usage: etal [OPTION]... [COUNT] INPUT OUTPUT\n"
    "       etal -i [OPTION]... [COUNT] FILE...\n"
    "       etal --check [OPTION]... [COUNT] FILE...\n"
    "       etal --diff [OPTION]... [COUNT] FILE...\n"
    "       etal [OPTION]... [COUNT] --run COMMAND [ARG]...\n"
    "Cut every name list of more than COUNT names (6 by default) in a BibTeX\n"
    "database to its first names and \"others\", which BibTeX's styles and\n"
    "biblatex print as \"et al.\": from INPUT to OUTPUT, or in each FILE itself.\n"
    "\"-\" is standard input or standard output. Nothing may follow OUTPUT:\n"
    "several files are rewritten with -i.\n"
    "A few styles print \"others\" as a name (achemso's for ACS journals), and\n"
    "so do pandoc's and typst's CSL styles: give them the whole list, which\n"
    "they cut by their own rule (the guide, share/doc/etal/guide.md where etal\n"
    "is installed: \"Which readers print et al.\").\n"
    "A list that ends in its own \"et al.\" (\"and et al.\", \"and Al., Et\",\n"
    "\"and {others}\"), which styles print as a name, gets \"others\" in its place;\n"
    "one whose last name holds it (\"J. Grue et al.\", \"Et al., Ziminsky\") ends\n"
    "in that person and \"others\". A name where no rule can tell the person\n"
    "apart (\"C. et. al.~Fabricius\") gets a note with --check and -v; so does\n"
    "a list over the count that BibTeX builds from a @string macro or with #.\n"
    "\n"
    "  -k, --keep=KEEP     a cut list keeps its first KEEP names, 1 to COUNT\n"
    "                      (COUNT by default)\n"
    "  -f, --fields=LIST   the name-list fields to shorten, comma-separated,\n"
    "                      instead of author; may be given more than once\n"
    "  -i, --in-place      rewrite each FILE; one with nothing to cut or mend is\n"
    "                      left untouched\n"
    "  -c, --check         change nothing: print each list over the rule or to\n"
    "                      mend, and exit 1 if there is one\n"
    "      --diff          change nothing: print the unified diff that -i would\n"
    "                      make (git apply, patch -p1), and exit 1 if there is one\n"
    "  -v, --verbose       tell of each list cut or mended on standard error\n"
    "      --format=FORMAT how --check and -v tell of each list: text (the\n"
    "                      default), github (::warning lines), gitlab (a Code\n"
    "                      Quality report) or json (an object a line)\n"
    "  -h, --help          print this help and exit\n"
    "      --version       print the version and exit\n"
    "      --run COMMAND [ARG]...\n"
    "                      run COMMAND, a BibTeX, on shortened copies of the\n"
    "                      databases that its .aux (its last ARG) names, kept in\n"
    "                      a folder beside it, NAME.etal; the .bib files are\n"
    "                      never written\n"
    "\n"
    "Options may follow the operands; -- ends them. In -i, --check and --diff,\n"
    "COUNT is a number alone: 2023.bib is a FILE. A cut list ends in \"others }\"\n"
    "and whatever followed its value on the line: its comma or none, its CR.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file could not be handled (or, with\n"
    "--check or --diff, a list is over the rule or to mend), 2 for a wrong\n"
    "command line or, with --check or --diff, a file that could not be read.\n"
    "With --run, COMMAND's, or 2 when a copy could not be written, 127 when\n"
    "COMMAND is not found, 126 when it could not be started.\n"
    "\n"
    "IEEE's rule, more than six names print as the first one and \"et al.\":\n"
    "  etal -k 1 6 refs.bib refs-short.bib\n"
    "  etal -i -k 1 6 refs.bib\n"
    "  etal -k 1 6 --run bibtex paper          (latexmk: $bibtex = 'etal -k 1 6\n"
    "                                           --run bibtex %O %S';)\n";

constexpr std::string_view version_text = "etal " ETAL_VERSION "\n";

command_line print(std::string_view text) { return {std::nullopt, std::string(text), 0}; }

command_line complaint(std::string_view what)
{
    return {std::nullopt, std::string("etal: ").append(what).append("\n"), exit_usage};
}

command_line complaint(std::string_view subject, std::string_view reason)
{
    return complaint(std::string(subject).append(": ").append(reason));
}

// For a command line that may not mean what its writer thinks: the forms.
command_line complaint_and_usage(std::string_view subject, std::string_view reason)
{
    command_line said = complaint(subject, reason);
    said.text.append(usage_text);
    return said;
}

// Reads the leading number of `arg` as atoi does (blanks, a sign, digits, the
// rest ignored), without its overflow, and sets `rest` where the digits end.
// Empty when there are no digits.
std::optional<std::int64_t> leading_number(const char* arg, const char** rest = nullptr)
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
    if (rest != nullptr)
        *rest = arg;
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

// Adds the comma-separated names of `list` to `fields`; a complaint for an
// empty or invalid one.
std::optional<command_line> add_fields(std::string_view list, std::vector<std::string>& fields)
{
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view name = list.substr(start, comma - start);
        if (name.empty())
            return complaint("empty field name in \"" + std::string(list) + "\"");
        if (!std::all_of(name.begin(), name.end(), is_field_name_byte))
            return complaint("invalid field name", "\"" + std::string(name) + "\"");
        fields.emplace_back(name);
        if (comma == list.size())
            return std::nullopt;
        start = comma + 1;
    }
}

// An option starts with "-"; "-" alone is a standard stream, and a sign and
// a digit start a count.
bool is_option(std::string_view arg) { return arg.size() > 1 && arg[0] == '-' && !is_digit(arg[1]); }

struct known_option {
    char short_name;  // 0: none
    std::string_view long_name;
    bool takes_value;
};

// Long options without a letter have a code of their own below ' '.
constexpr char version_code = 1;
constexpr char diff_code = 2;
constexpr char format_code = 3;

constexpr known_option known_options[] = {
    {'k', "keep", true},        {'f', "fields", true},      {'i', "in-place", false},   {'c', "check", false},
    {'v', "verbose", false},    {'h', "help", false},       {version_code, "version", false},
    {diff_code, "diff", false}, {format_code, "format", true},
};

// The letter of an option, or its code where it has none.
constexpr bool has_letter(const known_option& option) { return option.short_name > ' '; }

const known_option* find_option(char short_name, std::string_view long_name)
{
    for (const known_option& option : known_options)
        if (short_name != 0 ? has_letter(option) && option.short_name == short_name : option.long_name == long_name)
            return &option;
    return nullptr;
}

constexpr std::pair<std::string_view, report_format> format_names[] = {
    {"text", report_format::text},
    {"github", report_format::github},
    {"gitlab", report_format::gitlab},
    {"json", report_format::json},
};

// The options read so far.
struct option_values {
    filter_options options;
    std::optional<std::int64_t> keep;
    std::string keep_text;
    bool fields_given = false;
    bool in_place = false;
    bool check = false;
    bool diff = false;
    bool format_given = false;
};

// Takes one option; a command line to end with (help, version, a
// complaint), or nothing to go on.
std::optional<command_line> take_option(const known_option& option, std::string_view value, option_values& read)
{
    switch (option.short_name) {
    case 'h':
        return print(help_text);
    case version_code:
        return print(version_text);
    case diff_code:
        read.diff = true;
        break;
    case format_code: {
        const auto known = std::find_if(std::begin(format_names), std::end(format_names),
                                        [value](const auto& name) { return name.first == value; });
        if (known == std::end(format_names))
            return complaint("invalid format", std::string(value) + " (text, github, gitlab or json)");
        read.options.format = known->second;
        read.format_given = true;
        break;
    }
    case 'i':
        read.in_place = true;
        break;
    case 'c':
        read.check = true;
        break;
    case 'v':
        read.options.verbose = true;
        break;
    case 'k':
        read.keep = whole_number(value);
        read.keep_text = value;
        if (!read.keep || *read.keep < 1)
            return complaint("invalid keep", value);
        break;
    default:  // 'f'
        if (!read.fields_given)
            read.options.rule.fields.clear();
        read.fields_given = true;
        return add_fields(value, read.options.rule.fields);
    }
    return std::nullopt;
}

// A count as the FILE forms and --run read it: what atoi reads, with nothing
// after it, so that "2023.bib" is a file; empty otherwise.
std::optional<std::int64_t> count_alone(const std::string& arg)
{
    const char* rest = nullptr;
    const std::optional<std::int64_t> count = leading_number(arg.c_str(), &rest);
    return count && *rest == '\0' ? count : std::nullopt;
}

// What is missing for the form, named before the usage; with the count
// that may have been meant as a file, how to name that file.
command_line missing(std::string_view what, const std::string& count_text, bool count_alone_given)
{
    std::string said = "missing " + std::string(what);
    if (!count_text.empty() && count_alone_given)
        said += " after the count " + count_text + " (a file of that name is ./" + count_text + ")";
    else if (!count_text.empty())
        said += ": " + count_text + " was read as the count " + std::to_string(leading_number(count_text.c_str()).value_or(0)) +
                " (a file of that name is ./" + count_text + ")";
    command_line line = complaint(said);
    line.text.append(usage_text);
    return line;
}

}  // namespace

command_line parse_command_line(const std::vector<std::string>& args)
{
    option_values read;
    filter_options& options = read.options;
    options.rule.author_limit = default_author_limit;
    // As GNU getopt reads them: options may follow operands, "--" ends the
    // options wherever it stands, and every word after --run is COMMAND's.
    // All of it is read before any file is touched.
    std::vector<std::string> operands;
    bool operands_only = false;  // after "--"
    bool run = false;
    for (std::size_t next = 1; next < args.size(); ++next) {
        const std::string_view arg = args[next];
        if (!operands_only && arg == "--") {
            operands_only = true;
            continue;
        }
        if (!operands_only && arg == run_option) {
            run = true;
            options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(next + 1), args.end());
            break;
        }
        if (operands_only || !is_option(arg)) {
            operands.emplace_back(arg);
            continue;
        }
        // --name, --name=VALUE; -abc, where a letter that takes a value
        // takes the rest (-k3) or, at the end, the next argument (-ik 3).
        const bool long_form = arg[1] == '-';
        for (std::size_t at = 1; at < arg.size();) {
            const std::size_t name_end = long_form ? std::min(arg.find('='), arg.size()) : at + 1;
            const std::string_view name = long_form ? arg.substr(0, name_end) : arg.substr(at, 1);
            const known_option* option = long_form ? find_option(0, name.substr(2)) : find_option(name[0], {});
            const std::string spelled = long_form ? std::string(name) : "-" + std::string(name);
            if (option == nullptr)
                return complaint_and_usage("unknown option", long_form ? arg : std::string_view(spelled));
            std::string_view value;
            bool has_value = long_form ? name_end < arg.size() : option->takes_value && name_end < arg.size();
            if (has_value)
                value = arg.substr(long_form ? name_end + 1 : name_end);
            if (has_value && !option->takes_value)
                return complaint_and_usage("option takes no value", spelled);
            if (option->takes_value && !has_value) {
                if (next + 1 == args.size())
                    return complaint_and_usage("option needs a value", spelled);
                value = args[++next];
                has_value = true;
            }
            if (auto stop = take_option(*option, value, read))
                return std::move(*stop);
            at = has_value || long_form ? arg.size() : at + 1;
        }
    }
    if (read.in_place + read.check + read.diff > 1)
        return complaint(read.diff ? "--diff cannot be used with --in-place or --check"
                                   : "--in-place and --check cannot be used together");
    options.form = read.in_place ? run_form::in_place
                   : read.check  ? run_form::check
                   : read.diff   ? run_form::diff
                                 : run_form::copy;
    if (read.format_given && !read.check && !options.verbose)
        return complaint("--format tells of lists for --check and -v alone");
    if (run) {
        if (options.form != run_form::copy)
            return complaint("--run cannot be used with --in-place, --check or --diff");
        if (options.command.empty())
            return complaint_and_usage(run_option, "needs a command to run");
        options.form = run_form::build;
    }

    // The copy form reads its first operand as atoi does (42refs.bib is the
    // count 42); the others take a count only where it is one alone, since
    // their operands are files whatever their names (2023.bib).
    std::size_t first_path = 0;
    std::string count_text;
    bool count_alone_given = false;
    if (!operands.empty()) {
        const std::optional<std::int64_t> alone = count_alone(operands[0]);
        const std::optional<std::int64_t> count =
            options.form == run_form::copy ? leading_number(operands[0].c_str()) : alone;
        if (count) {
            // Below 1 is refused rather than guessed at: "0" could be a file
            // name, and taking it as one would make the real input the output.
            if (*count < 1 || *count > INT32_MAX)
                return complaint("invalid count", operands[0]);
            options.rule.author_limit = static_cast<std::int32_t>(*count);
            count_text = operands[0];
            count_alone_given = alone.has_value();
            first_path = 1;
        }
    }
    const std::size_t given = operands.size() - first_path;
    if (options.form == run_form::build && given > 0)
        return complaint_and_usage(operands[first_path], "only COUNT may stand before --run COMMAND");
    if (options.form == run_form::copy && given < 2)
        return missing(given == 0 ? "INPUT and OUTPUT" : "OUTPUT after INPUT " + operands[first_path],
                       given == 0 || !count_alone_given ? count_text : "", count_alone_given);
    if (options.form != run_form::copy && options.form != run_form::build && given == 0)
        return missing("FILE", count_text, count_alone_given);
    // "etal 2 a.bib b.bib c.bib", meant for -i, would write a.bib over b.bib.
    if (options.form == run_form::copy && given > 2) {
        command_line said = complaint("extra operand '" + operands[first_path + 2] + "'");
        said.text.append(several_files_text);
        return said;
    }
    if (read.keep && *read.keep > options.rule.author_limit)
        return complaint("keep " + read.keep_text + " is more than the count " +
                         std::to_string(options.rule.author_limit));
    options.rule.keep = static_cast<std::int32_t>(read.keep.value_or(0));
    options.paths.assign(operands.begin() + static_cast<std::ptrdiff_t>(first_path), operands.end());
    if (options.form == run_form::diff && options.verbose)
        return complaint("--diff tells of nothing but the diff: -v cannot be used with it");
    if (options.form == run_form::in_place &&
        std::find(options.paths.begin(), options.paths.end(), "-") != options.paths.end())
        return complaint("-", "standard input cannot be rewritten in place");
    return {std::move(options), {}, 0};
}
