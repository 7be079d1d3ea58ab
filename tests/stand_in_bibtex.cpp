// A stand-in for BibTeX, for the tests of `etal --run`: it reports what it
// was handed, as BibTeX would find it. On standard output its arguments,
// one a line, BIBINPUTS, and for each database that the .aux (its last
// argument, ".aux" added where missing, or one it \@inputs) names in
// \bibdata, the first file of that name in a folder of BIBINPUTS or else in
// the current folder, and that file's bytes. A line on standard error, and
// the exit status that ETAL_STAND_IN_STATUS gives (0 without it). Names are
// UTF-8, on Windows too.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>
constexpr char separator = ';';
#else
constexpr char separator = ':';
#endif

static std::ifstream opened(const std::string& path)
{
    return std::ifstream(std::filesystem::u8path(path), std::ios::binary);
}

static std::string read(const std::string& path)
{
    std::ifstream in = opened(path);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string("(none)");
}

// The names \bibdata gives in the .aux `path`, and in those it \@inputs.
static std::vector<std::string> databases_in(const std::string& path)
{
    std::vector<std::string> names;
    std::istringstream lines(read(path));
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 8, "\\@input{") == 0) {
            for (const std::string& name : databases_in(line.substr(8, line.find('}') - 8)))
                names.push_back(name);
        } else if (line.compare(0, 9, "\\bibdata{") == 0) {
            std::istringstream list(line.substr(9, line.find('}') - 9));
            for (std::string name; std::getline(list, name, ',');)
                names.push_back(name);
        }
    }
    return names;
}

// The arguments in UTF-8, as they were handed over.
static std::vector<std::string> arguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
#ifdef _WIN32
    // Bytes as they are, as BibTeX writes them: no CR before each line feed.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    LPWSTR* const wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> all;
    for (int i = 0; i < count; ++i)
        all.push_back(std::filesystem::path(wide[i]).u8string());
    LocalFree(wide);
    return all;
#else
    return {argv, argv + argc};
#endif
}

// BIBINPUTS in UTF-8, or null where it is not set.
static const char* bibinputs()
{
#ifdef _WIN32
    static std::string value;
    const wchar_t* const wide = _wgetenv(L"BIBINPUTS");
    return wide != nullptr ? (value = std::filesystem::path(wide).u8string()).c_str() : nullptr;
#else
    return std::getenv("BIBINPUTS");
#endif
}

int main(int argc, char** argv)
{
    const std::vector<std::string> args = arguments(argc, argv);
    for (std::size_t i = 1; i < args.size(); ++i)
        std::cout << "argument: " << args[i] << "\n";
    const char* const inputs = bibinputs();
    std::cout << "BIBINPUTS=" << (inputs != nullptr ? inputs : "(unset)") << "\n";
    std::vector<std::string> folders;
    std::istringstream path(inputs != nullptr ? inputs : "");
    for (std::string folder; std::getline(path, folder, separator);)
        folders.push_back(folder.empty() ? "." : folder);
    folders.push_back(".");
    std::string aux = args.size() > 1 ? args.back() : "";
    if (aux.size() < 4 || aux.compare(aux.size() - 4, 4, ".aux") != 0)
        aux += ".aux";
    for (const std::string& name : databases_in(aux)) {
        for (const std::string& folder : folders) {
            const std::string file = folder + "/" + name + ".bib";
            if (opened(file)) {
                std::cout << "database: " << file << "\n" << read(file);
                break;
            }
        }
    }
    std::cerr << "stand-in: done\n";
    const char* const status = std::getenv("ETAL_STAND_IN_STATUS");
    return status != nullptr ? std::atoi(status) : 0;
}
