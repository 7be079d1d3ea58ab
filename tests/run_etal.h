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

struct started_etal {
    pid_t pid = -1;
    int error_fd = -1;  // read end of its stderr
};

/// Starts etal with `args` in `dir`, with `input_fd` and `output_fd` as its
/// standard input and output (-1: /dev/null) and its address space capped
/// at `address_limit` bytes when not 0.
inline started_etal start_etal(const std::string& dir, const std::vector<std::string>& args, int input_fd = -1,
                               int output_fd = -1, rlim_t address_limit = 0)
{
    int error_pipe[2];
    if (pipe2(error_pipe, O_CLOEXEC) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(input_fd >= 0 ? input_fd : null, STDIN_FILENO);
        dup2(output_fd >= 0 ? output_fd : null, STDOUT_FILENO);
        dup2(error_pipe[1], STDERR_FILENO);
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
    return {child, error_pipe[0]};
}

/// Waits for a started etal to end, with all it printed on stderr.
inline run_result finish_etal(const started_etal& started)
{
    run_result result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(started.error_fd, buffer, sizeof buffer)) > 0;)
        result.error.append(buffer, static_cast<std::size_t>(got));
    close(started.error_fd);
    int status = 0;
    waitpid(started.pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

/// Runs etal to its end. Standard input is `input` through a pipe when
/// given; `stdio_fd`, when not -1, serves as both standard input and output.
inline run_result run_etal(const std::string& dir, const std::vector<std::string>& args,
                           const std::optional<std::string>& input = std::nullopt, int stdio_fd = -1,
                           rlim_t address_limit = 0)
{
    int input_pipe[2];
    if (pipe2(input_pipe, O_CLOEXEC) != 0)
        return {};
    const started_etal started =
        start_etal(dir, args, input ? input_pipe[0] : stdio_fd, stdio_fd, address_limit);
    close(input_pipe[0]);
    if (input)
        (void)!::write(input_pipe[1], input->data(), input->size());
    close(input_pipe[1]);
    return finish_etal(started);
}
