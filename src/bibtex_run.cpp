#include "bibtex_run.h"

#include "file_filter.h"
#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int exit_copy_failed = 2;
constexpr int exit_not_found = 127;
constexpr int exit_not_started = 126;

// BibTeX follows \@input no deeper than this.
constexpr int deepest_aux = 20;

// Where BibTeX, through kpathsea, seeks the databases.
constexpr const char* bibtex_inputs = "BIBINPUTS";

// The BibTeX styles that print `others` as a name, as the readers' test
// finds them in TeX Live and the venues' kits, with the names a cut list
// keeps where they do, and what to do instead.
struct style_advice {
    std::string_view style;
    std::string_view instead;
    std::int32_t from_keep = 1;
    std::int32_t to_keep = INT32_MAX;
};
constexpr std::string_view apa_way =
    "its APA cut after six names prints the last, others, as a name: keep six names or fewer (-k 6)";
constexpr std::string_view whole_list = "give BibTeX the whole list, or use a style that prints \"et al.\"";
constexpr std::string_view achemso_way =
    "give BibTeX the whole list and let achemso cut it: \\usepackage[maxauthors=6]{achemso}";
// With one name kept, these print "Okafor and others" where they read a
// list of two (in the citation, or the list of references).
constexpr std::string_view two_or_more = "keep two names or more (-k 2)";
// achemso and biochem cut a list of more than fifteen names themselves.
constexpr std::int32_t achemso_cut = 15;
constexpr style_advice styles_printing_others[] = {
    {"achemso", achemso_way, 1, achemso_cut - 1},
    {"biochem", achemso_way, 1, achemso_cut - 1},
    {"jcc", whole_list},
    {"jpc", whole_list},
    {"aomalpha", whole_list},
    {"aomplain", whole_list},
    {"asaetr", whole_list},
    {"mslapa", whole_list},
    {"rusnat", whole_list},
    {"export", whole_list},
    {"bestpapers-export", whole_list},
    {"named", two_or_more, 1, 1},
    {"aaai-named", two_or_more, 1, 1},
    {"cc", two_or_more, 1, 1},
    {"cqunumerical", two_or_more, 1, 1},
    {"hithesis", two_or_more, 1, 1},
    {"hitszbeamer", two_or_more, 1, 1},
    {"jneurosci", two_or_more, 1, 1},
    {"thesnumb", two_or_more, 1, 1},
    {"thubeamer", two_or_more, 1, 1},
    // pnas-new prints others as an empty name ("H Tanaka, , et al.") and
    // cuts a list of more than five names itself.
    {"pnas-new", "give BibTeX the whole list: pnas-new cuts a list of more than five names itself", 1, 4},
    {"apacite", apa_way, 7},
    {"apacitex", apa_way, 7},
    {"apacann", apa_way, 7},
    {"apacannx", apa_way, 7},
    {"sn-apacite", apa_way, 7},
};

// Whether the style `text`, a .bst, is one of ACL's acl_natbib.bst that print
// a list ending in others as "and N others", counting the names left out,
// for a cut list of `keep` names: the versions of 2025 at any length, and
// one of them where it cuts lists of more than twenty names itself, from
// twenty kept names on. The current file prints "et al." there. Told by the
// file, since all have one name.
bool counts_the_others(std::string_view text, std::int32_t keep)
{
    if (text.find("int.to.str$ * \" others\"") == std::string_view::npos)
        return false;
    if (text.find("'truncated :=") == std::string_view::npos)
        return true;
    // The first names' function tells: the current one reads the last name
    // of the list where the older reads the one it has come to.
    const std::size_t test = text.find("\"{ll}\" format.name$ duplicate$ \"others\" =");
    return keep >= 20 && test != std::string_view::npos && test >= 10 && text.substr(test - 10, 10) == "s nameptr ";
}

// What BibTeX takes from the .aux files.
struct aux_contents {
    std::vector<std::string> databases;  // as \bibdata names them
    std::string style;                   // as \bibstyle names it
};

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool ends_with(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A file to read, as BibTeX would open it: -1 for none, or a folder.
int open_file(const std::string& path)
{
    const int input = open_input(path);
    if (input >= 0 && input_error(input) != 0) {
        close_file(input);
        return -1;
    }
    return input;
}

// The whole of a small file; false where it cannot be read.
bool read_file(const std::string& path, std::string& text)
{
    const int input = open_file(path);
    if (input < 0)
        return false;
    text.clear();
    char block[8192];
    std::ptrdiff_t got = 0;
    while ((got = read_bytes(input, block, sizeof block)) > 0)
        text.append(block, static_cast<std::size_t>(got));
    close_file(input);
    return got == 0;
}

// Reads the .aux `path` as BibTeX does: a line that starts with a command
// and `{` gives it the text up to the first `}`. An \@input'ed file is
// opened as named, or else beside the first .aux.
void read_aux(const std::string& path, const std::string& first_folder, int depth, aux_contents& found)
{
    std::string text;
    if (!read_file(path, text) && !(depth > 0 && read_file(first_folder + path, text)))
        return;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const std::size_t open = line.find('{');
        const std::size_t close = line.find('}', open);
        if (open == std::string_view::npos || close == std::string_view::npos)
            continue;
        const std::string_view command = line.substr(0, open);
        const std::string_view argument = line.substr(open + 1, close - open - 1);
        if (command == "\\bibdata") {
            for (std::size_t from = 0; from <= argument.size();) {
                const std::size_t comma = std::min(argument.find(',', from), argument.size());
                if (comma > from)
                    found.databases.emplace_back(argument.substr(from, comma - from));
                from = comma + 1;
            }
        } else if (command == "\\bibstyle") {
            found.style = argument;
        } else if (command == "\\@input" && depth < deepest_aux) {
            read_aux(std::string(argument), first_folder, depth + 1, found);
        }
    }
}

// Whether BibTeX opens `name` as it is, never along BIBINPUTS: a full path,
// or one from the current folder (./, ../).
bool opened_as_it_is(const std::string& name)
{
    const auto starts = [&name](std::string_view with) { return name.compare(0, with.size(), with) == 0; };
    return starts("/") || starts("\\") || starts("./") || starts("../") || starts(".\\") || starts("..\\") ||
           (name.size() > 1 && name[1] == ':');
}

// Where BibTeX finds the database or style file `file`: in the current
// folder, or where kpsewhich says; empty where neither.
std::string find_bibtex_file(const std::string& file)
{
    std::string found;
    const int here = open_file(file);
    if (here >= 0) {
        close_file(here);
        return file;
    }
    if (!command_output({"kpsewhich", file}, found))
        return {};
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r'))
        found.pop_back();
    return found.substr(0, found.find('\n'));
}

// Whether the files `a` and `b` hold the same bytes; false where either
// cannot be read.
bool same_bytes(const std::string& a, const std::string& b)
{
    const int first = open_file(a);
    const int second = first < 0 ? -1 : open_file(b);
    bool same = second >= 0;
    std::string one(block_size, '\0');
    std::string other(block_size, '\0');
    while (same) {
        const std::ptrdiff_t got = read_bytes(first, one.data(), one.size());
        std::ptrdiff_t matched = 0;
        while (got > 0 && matched < got) {
            const std::ptrdiff_t more =
                read_bytes(second, other.data() + matched, static_cast<std::size_t>(got - matched));
            if (more <= 0)
                break;
            matched += more;
        }
        if (got < 0 || matched != got || one.compare(0, static_cast<std::size_t>(got), other, 0,
                                                     static_cast<std::size_t>(got)) != 0) {
            same = false;
        } else if (got == 0) {
            same = read_bytes(second, other.data(), 1) == 0;
            break;
        }
    }
    if (first >= 0)
        close_file(first);
    if (second >= 0)
        close_file(second);
    return same;
}

// Writes `database`, shortened by the rule, to `copy`, unless it holds
// those bytes already; false after reporting why not.
bool write_copy(const filter_options& options, list_report& report, const std::string& database, const std::string& copy)
{
    const int input = open_file(database);
    if (input < 0) {
        // Left to COMMAND, which says why it cannot read it: no copy of an
        // earlier run may stand in for it.
        remove_file(copy);
        return true;
    }
    // A copy's path always holds its folder: NAME.etal, and more.
    const std::string folder = folder_of(copy);
    const std::string folder_name = folder.substr(0, folder.size() - 1);
    std::string temporary;
    int output = -1;
    if (!make_folders(folder_name) || (output = create_new_file(folder_name, copy.substr(folder.size()), temporary)) < 0) {
        report_errno(folder_name, errno);
        close_file(input);
        return false;
    }
    list_filter filter(options.rule, notes_told(options));
    block_writer writer(output, temporary);
    bool written = filter_lines(input, database, filter, writer, tell_cuts(filter, database, report, options)) && writer.finish();
    close_file(input);
    if (!close_file(output) && written) {
        report_errno(temporary, errno);
        written = false;
    }
    if (written && options.verbose) {
        const std::uint64_t cut = filter.lists_cut();
        write_error(database + ": " + std::to_string(cut) + (cut == 1 ? " list" : " lists") + " cut, " +
                    std::to_string(filter.lists_mended()) + " mended, into " + copy + "\n");
    }
    if (!written || same_bytes(temporary, copy)) {
        remove_file(temporary);
        return written;
    }
    if (rename_over(temporary, copy))
        return true;
    report_errno(copy, errno);
    remove_file(temporary);
    return false;
}

}  // namespace

int run_bibtex(const filter_options& options)
{
    const std::vector<std::string>& command = options.command;
    std::string aux = command.size() > 1 ? command.back() : std::string();
    const std::string_view extension = ".aux";
    if (!aux.empty() && !ends_with(aux, extension))
        aux += extension;
    aux_contents found;
    if (!aux.empty())
        read_aux(aux, folder_of(aux), 0, found);

    const std::string folder = aux.substr(0, aux.size() - extension.size()) + ".etal";
    list_report told(options);
    std::vector<std::string> copies;
    for (const std::string& name : found.databases) {
        const std::string file = name.size() > 4 && ends_with(name, ".bib") ? name : name + ".bib";
        if (opened_as_it_is(name)) {
            report(aux, "\\bibdata names " + name + " by its path, which BibTeX opens as it is: its lists stay long "
                        "(name it from a folder of BIBINPUTS instead)");
            continue;
        }
        const std::string copy = std::string(folder).append("/").append(file);
        if (std::find(copies.begin(), copies.end(), copy) != copies.end())
            continue;
        copies.push_back(copy);
        if (!write_copy(options, told, find_bibtex_file(file), copy))
            return exit_copy_failed;
    }
    if (const std::string closing = told.closing(); options.verbose && !closing.empty())
        write_error(closing);
    const std::int32_t keep = options.rule.keep >= 1 ? options.rule.keep : options.rule.author_limit;
    bool told_of_style = false;
    for (const style_advice& advice : styles_printing_others)
        if (found.style == advice.style && keep >= advice.from_keep && keep <= advice.to_keep) {
            report(aux, "the style " + found.style + " prints \"others\" as a name, not \"et al.\": " +
                            std::string(advice.instead));
            told_of_style = true;
        }
    std::string style_text;
    if (!told_of_style && !found.style.empty() && read_file(find_bibtex_file(found.style + ".bst"), style_text) &&
        counts_the_others(style_text, keep))
        report(aux, "the style " + found.style + " prints \"others\" as a name, not \"et al.\", counting the names "
                    "left out (\"and 2 others\"): use the current acl_natbib.bst of ACL's kit, which prints \"et al.\"");

    // The copies first, then where BibTeX looked before: with BIBINPUTS
    // unset, a separator at the end stands for its own folders.
    std::string search_path;
    if (!copies.empty()) {
        search_path = folder;
        search_path.push_back(search_path_separator);
        std::string inherited;
        if (environment_value(bibtex_inputs, inherited))
            search_path += inherited;
    }
    const int status = run_command(command, copies.empty() ? std::string() : std::string(bibtex_inputs), search_path);
    if (status >= 0)
        return status;
    report_errno(command.front(), errno);
    return errno == ENOENT ? exit_not_found : exit_not_started;
}
