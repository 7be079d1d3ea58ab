// Runs the built etal in a folder of its own, as a user would from a shell.
// File names are UTF-8 on every system.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // std::min, not the macro
#endif
#include <windows.h>
#else
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

struct temp_dir {
    std::string path;

    temp_dir()
    {
        static std::mt19937_64 random(std::random_device{}());
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            const std::filesystem::path folder =
                std::filesystem::temp_directory_path() / ("etal-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(folder, error))
                path = folder.u8string();
        }
    }
    ~temp_dir()
    {
        std::error_code error;
        std::filesystem::remove_all(std::filesystem::u8path(path), error);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    std::filesystem::path operator/(const std::string& name) const
    {
        return std::filesystem::u8path(path) / std::filesystem::u8path(name);
    }

    void write(const std::string& name, const std::string& content) const
    {
        const std::filesystem::path file = *this / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    std::optional<std::string> read(const std::string& name) const
    {
        std::ifstream in(*this / name, std::ios::binary);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

/// What etal is started with besides its arguments and streams (POSIX).
struct child_limits {
    unsigned long long address_space = 0;  // bytes; 0: no limit
    unsigned long long file_size = 0;      // bytes; 0: no limit
    bool as_nobody = false;                // when root, as the user nobody, whom permissions stop
};

struct run_result {
    int status = -1;    // exit status, or 128 + signal
    std::string error;  // all it printed on stderr
};

#ifdef _WIN32

inline std::wstring wide(const std::string& utf8)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

// One argument as the C runtime splits a command line again: in quotes, with
// the backslashes before a quote doubled.
inline std::wstring quoted(const std::wstring& arg)
{
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text.push_back(c);
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

/// Runs etal with `args` in `dir`, its standard input read from the file
/// `input` of `dir` and its standard output written to `output` (opened
/// without truncation), or the null device for an empty name.
inline run_result run_etal_with_files(const std::string& dir, const std::vector<std::string>& args,
                                      const std::string& input = "", const std::string& output = "")
{
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::wstring folder = wide(dir);
    const auto in_folder = [&folder](const std::string& name) {
        return name.empty() ? std::wstring(L"NUL") : folder + L"\\" + wide(name);
    };
    const HANDLE in = CreateFileW(in_folder(input).c_str(), GENERIC_READ, share, &inherited, OPEN_EXISTING, 0, nullptr);
    const HANDLE out = CreateFileW(in_folder(output).c_str(), GENERIC_WRITE, share, &inherited, OPEN_ALWAYS, 0, nullptr);
    HANDLE error_read = nullptr;
    HANDLE error_write = nullptr;
    CreatePipe(&error_read, &error_write, &inherited, 0);
    SetHandleInformation(error_read, HANDLE_FLAG_INHERIT, 0);

    std::wstring command = quoted(wide(ETAL_BINARY));
    for (const std::string& a : args)
        command += L" " + quoted(wide(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = error_write;
    PROCESS_INFORMATION process{};
    // Wine now and then fails to start a process on a busy machine: tried
    // again, so that a test fails for etal's doing alone.
    bool started = false;
    for (int tries = 0; !started && tries < 5; ++tries) {
        if (tries > 0)
            Sleep(200);
        started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                                 &process) != 0;
    }
    CloseHandle(error_write);
    CloseHandle(in);
    CloseHandle(out);
    run_result result;
    if (started) {
        char buffer[4096];
        for (DWORD got = 0; ReadFile(error_read, buffer, sizeof buffer, &got, nullptr) && got > 0;)
            result.error.append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        result.status = static_cast<int>(status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(error_read);
    return result;
}

/// Runs etal to its end, with the null device as standard input and output.
inline run_result run_etal(const std::string& dir, const std::vector<std::string>& args)
{
    return run_etal_with_files(dir, args);
}

#else

struct started_etal {
    pid_t pid = -1;
    int error_fd = -1;  // read end of its stderr
};

/// Starts etal with `args` in `dir`, with `input_fd` and `output_fd` as its
/// standard input and output (-1: /dev/null), under `limits`. It is spawned,
/// not forked: qemu-user's fork fails for some targets, and limits and
/// another user come from util-linux's prlimit and setpriv in front of it.
inline started_etal start_etal(const std::string& dir, const std::vector<std::string>& args, int input_fd = -1,
                               int output_fd = -1, child_limits limits = {})
{
    std::vector<std::string> words;
    if (limits.as_nobody && geteuid() == 0)
        words.insert(words.end(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    if (limits.address_space != 0 || limits.file_size != 0) {
        words.emplace_back("prlimit");
        if (limits.address_space != 0)
            words.push_back("--as=" + std::to_string(limits.address_space));
        if (limits.file_size != 0)
            words.push_back("--fsize=" + std::to_string(limits.file_size));
        words.emplace_back("--");
    }
#ifdef ETAL_EMULATOR
    // A cross build's etal, as "qemu-s390x -L /usr/s390x-linux-gnu etal".
    std::istringstream emulator(ETAL_EMULATOR);
    for (std::string word; emulator >> word;)
        words.push_back(word);
#endif
    words.emplace_back(ETAL_BINARY);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int error_pipe[2];
    if (pipe2(error_pipe, O_CLOEXEC) != 0)
        return {};
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input_fd >= 0 ? input_fd : null, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output_fd >= 0 ? output_fd : null, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error_pipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    // As from an interactive shell, whatever ran the tests ignored or held.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal_number);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t child = -1;
    if (posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ) != 0)
        child = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(null);
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
                           child_limits limits = {})
{
    int input_pipe[2];
    if (pipe2(input_pipe, O_CLOEXEC) != 0)
        return {};
    const started_etal started = start_etal(dir, args, input ? input_pipe[0] : stdio_fd, stdio_fd, limits);
    close(input_pipe[0]);
    if (input)
        (void)!::write(input_pipe[1], input->data(), input->size());
    close(input_pipe[1]);
    return finish_etal(started);
}

/// Runs etal with `args` in `dir`, its standard input read from the file
/// `input` of `dir` and its standard output written to `output` (opened
/// without truncation), or /dev/null for an empty name.
inline run_result run_etal_with_files(const std::string& dir, const std::vector<std::string>& args,
                                      const std::string& input = "", const std::string& output = "")
{
    const int in = input.empty() ? -1 : open((dir + "/" + input).c_str(), O_RDONLY | O_CLOEXEC);
    const int out = output.empty() ? -1 : open((dir + "/" + output).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const run_result result = finish_etal(start_etal(dir, args, in, out));
    for (const int fd : {in, out})
        if (fd >= 0)
            close(fd);
    return result;
}

#endif
