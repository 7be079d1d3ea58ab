// Runs the built etal in a folder of its own, as a user would from a shell.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct temp_dir {
    std::string path;

    temp_dir()
    {
        std::string name = (std::filesystem::temp_directory_path() / "etal-test-XXXXXX").string();
        path = mkdtemp(name.data()) != nullptr ? name : "";
    }
    ~temp_dir() { std::filesystem::remove_all(path); }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    void write(const std::string& name, const std::string& content) const
    {
        const std::filesystem::path file = std::filesystem::path(path) / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    std::optional<std::string> read(const std::string& name) const
    {
        std::ifstream in(std::filesystem::path(path) / name, std::ios::binary);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

struct run_result {
    int status = -1;    // exit status, or 128 + signal
    std::string error;  // all it printed on stderr
};

/// Runs etal with `args` in `dir`. Standard input is `input` through a pipe
/// when given, else /dev/null; `stdio_fd`, when not -1, serves as both
/// standard input and output. `address_limit` caps the address space.
inline run_result run_etal(const std::string& dir, const std::vector<std::string>& args,
                           const std::optional<std::string>& input = std::nullopt, int stdio_fd = -1,
                           rlim_t address_limit = 0)
{
    int error_pipe[2];
    int input_pipe[2];
    if (pipe(error_pipe) != 0 || pipe(input_pipe) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(stdio_fd >= 0 ? stdio_fd : input ? input_pipe[0] : null, STDIN_FILENO);
        dup2(stdio_fd >= 0 ? stdio_fd : null, STDOUT_FILENO);
        dup2(error_pipe[1], STDERR_FILENO);
        close(input_pipe[1]);
        close(error_pipe[0]);
        if (address_limit != 0) {
            const rlimit limit{address_limit, address_limit};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(ETAL_BINARY)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (chdir(dir.c_str()) == 0)
            execv(ETAL_BINARY, argv.data());
        _exit(127);
    }
    close(error_pipe[1]);
    close(input_pipe[0]);
    if (input)
        (void)!::write(input_pipe[1], input->data(), input->size());
    close(input_pipe[1]);

    run_result result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(error_pipe[0], buffer, sizeof buffer)) > 0;)
        result.error.append(buffer, static_cast<std::size_t>(got));
    close(error_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
