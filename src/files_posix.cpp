// Files on POSIX systems: Linux, macOS and the BSDs.

#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> command_line_arguments(int argc, char** argv) { return {argv, argv + argc}; }

int open_input(const std::string& path)
{
    return path == standard_stream ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int open_output(const std::string& path)
{
    return path == standard_stream ? STDOUT_FILENO : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int input_error(int input)
{
    struct stat status {};
    if (fstat(input, &status) != 0)
        return errno;
    return S_ISDIR(status.st_mode) ? EISDIR : 0;
}

// Only regular files: /dev/stdin and /dev/stdout may well be one terminal,
// and reading it while writing it is fine.
bool is_same_file(int input, const std::string& output_path)
{
    struct stat in {};
    struct stat out {};
    const bool known = fstat(input, &in) == 0 && (output_path == standard_stream ? fstat(STDOUT_FILENO, &out) == 0
                                                                                 : stat(output_path.c_str(), &out) == 0);
    return known && S_ISREG(in.st_mode) && S_ISREG(out.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

std::ptrdiff_t read_bytes(int input, char* data, std::size_t size)
{
    for (;;) {
        const ssize_t got = read(input, data, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool write_all(int output, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = write(output, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool close_file(int file) { return close(file) == 0; }

std::string error_text(int error) { return std::strerror(error); }

void write_error(std::string_view text) { (void)!write(STDERR_FILENO, text.data(), text.size()); }

bool write_output(std::string_view text) { return write_all(STDOUT_FILENO, text); }
