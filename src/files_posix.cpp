// Files on POSIX systems: Linux, macOS and the BSDs.

#include "files.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#elif defined(__APPLE__)
#include <copyfile.h>
#endif

namespace {

// A file-size limit (RLIMIT_FSIZE) is a write error to report, like a full
// disk, rather than a signal that ends the process mid-file.
void make_file_size_limit_an_error() { std::signal(SIGXFSZ, SIG_IGN); }

constexpr int removal_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file that those signals remove, while there is one. The
// string it points into is not changed while it is set.
const char* volatile pending_temporary = nullptr;

extern "C" void remove_pending_temporary(int signal_number)
{
    if (const char* const path = pending_temporary)
        unlink(path);
    // The default action is back (SA_RESETHAND), and the signal is blocked
    // until this returns: then it ends the process as it would have.
    raise(signal_number);
}

void remove_temporary_on_signals()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (const int signal_number : removal_signals) {
        struct sigaction action {};
        sigaction(signal_number, nullptr, &action);
        if (action.sa_handler == SIG_IGN)  // as under nohup: it stays ignored
            continue;
        action.sa_handler = remove_pending_temporary;
        action.sa_flags = static_cast<int>(SA_RESETHAND);  // an unsigned constant on Linux
        sigemptyset(&action.sa_mask);
        for (const int other : removal_signals)
            sigaddset(&action.sa_mask, other);
        sigaction(signal_number, &action, nullptr);
    }
}

// Holds back those signals while the temporary file is made or goes, so
// that it never exists unnamed in `pending_temporary`.
class removal_signals_held {
public:
    removal_signals_held()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal_number : removal_signals)
            sigaddset(&held, signal_number);
        sigprocmask(SIG_BLOCK, &held, &before_);
    }
    ~removal_signals_held() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    removal_signals_held(const removal_signals_held&) = delete;
    removal_signals_held& operator=(const removal_signals_held&) = delete;

private:
    sigset_t before_{};
};

#if defined(__linux__)

// Reads into `text` what `get` gives for a buffer of any size, growing it
// while the answer outgrows it; false with errno set.
template <class Get>
bool read_sized(std::string& text, Get get)
{
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        text.resize(static_cast<std::size_t>(size));
        const ssize_t got = get(text.data(), text.size());
        if (got >= 0) {
            text.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
}

// The names of the extended attributes of `file` that this process may see,
// each ending in NUL; none where the file system keeps none.
bool attribute_names(int file, std::string& names)
{
    names.clear();
    return read_sized(names, [file](char* data, std::size_t size) { return flistxattr(file, data, size); }) ||
           errno == ENOTSUP;
}

bool attribute_value(int file, const char* name, std::string& value)
{
    return read_sized(value, [file, name](char* data, std::size_t size) { return fgetxattr(file, name, data, size); });
}

// Calls `take` on each name of a list of NUL-ended names, up to the first
// that it refuses.
template <class Take>
bool each_name(const std::string& names, Take take)
{
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find('\0', at), names.size());
        if (!take(names.substr(at, end - at)))
            return false;
        at = end + 1;
    }
    return true;
}

// Gives the new file `to` the extended attributes of `from`, its access
// control list (system.posix_acl_access) and SELinux label among them, in
// every namespace this process may see, and takes from it those `from` has
// not (an ACL inherited from the directory). One that `to` holds already
// with the same value is left as it is, as a label inherited usually is.
// False with errno set and the attribute's name in `failed`.
bool copy_attributes(int from, int to, std::string& failed)
{
    std::string names;
    std::string held_names;
    if (!attribute_names(from, names) || !attribute_names(to, held_names))
        return false;
    std::string value;
    std::string held;
    const auto give = [&](const std::string& name) {
        failed = name;
        if (!attribute_value(from, name.c_str(), value))
            return false;
        return (attribute_value(to, name.c_str(), held) && held == value) ||
               fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0;
    };
    const auto take_away = [&](const std::string& name) {
        failed = name;
        return !each_name(names, [&name](const std::string& kept) { return kept != name; }) ||
               fremovexattr(to, name.c_str()) == 0 || errno == ENODATA;
    };
    return each_name(names, give) && each_name(held_names, take_away);
}

#elif defined(__APPLE__)

bool copy_attributes(int from, int to, std::string& failed)
{
    failed.clear();
    return fcopyfile(from, to, nullptr, COPYFILE_ACL | COPYFILE_XATTR) == 0;
}

#else

// Elsewhere only the permissions, owner and group are carried over.
bool copy_attributes(int /*from*/, int /*to*/, std::string& failed)
{
    failed.clear();
    return true;
}

#endif

file_stamp stamp_of(const struct stat& status)
{
    const auto nanoseconds = [](const timespec& time) {
        return static_cast<unsigned long long>(time.tv_sec) * 1000000000U + static_cast<unsigned long long>(time.tv_nsec);
    };
#if defined(__APPLE__)
    const timespec modified = status.st_mtimespec;
    const timespec changed = status.st_ctimespec;
#else
    const timespec modified = status.st_mtim;
    const timespec changed = status.st_ctim;
#endif
    return {status.st_dev, {status.st_ino, 0}, static_cast<unsigned long long>(status.st_size), nanoseconds(modified),
            nanoseconds(changed)};
}

// What a refusal says of the attribute that could not be given.
std::string attribute_failure(const std::string& name)
{
    if (name.empty())
        return "cannot give a new file its access control list and extended attributes";
    if (name == "system.posix_acl_access")
        return "cannot give a new file its access control list";
    return "cannot give a new file its extended attribute " + name;
}

// The pointers that exec wants of strings: each, then a null pointer.
std::vector<char*> pointers_to(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& each : strings)
        pointers.push_back(each.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The exit status of the child `child`, or 128 + the signal that ended it.
int waited_for(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

bool environment_value(const char* name, std::string& value)
{
    const char* const found = std::getenv(name);
    if (found == nullptr)
        return false;
    value = found;
    return true;
}

const char search_path_separator = ':';

int run_command(const std::vector<std::string>& command, const std::string& variable, const std::string& value)
{
    std::vector<std::string> arguments = command;
    std::vector<std::string> environment;
    for (char** each = environ; *each != nullptr; ++each)
        if (variable.empty() || std::strncmp(*each, variable.c_str(), variable.size()) != 0 ||
            (*each)[variable.size()] != '=')
            environment.emplace_back(*each);
    if (!variable.empty())
        environment.push_back(variable + "=" + value);
    const std::vector<char*> argv = pointers_to(arguments);
    const std::vector<char*> envp = pointers_to(environment);
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), envp.data());
    if (error != 0) {
        errno = error;
        return -1;
    }
    return waited_for(child);
}

bool command_output(const std::vector<std::string>& command, std::string& output)
{
    int ends[2];
    if (pipe(ends) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    posix_spawn_file_actions_addclose(&actions, ends[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arguments = command;
    const std::vector<char*> argv = pointers_to(arguments);
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    output.clear();
    if (error == 0) {
        char block[4096];
        for (std::ptrdiff_t got; (got = read_bytes(ends[0], block, sizeof block)) > 0;)
            output.append(block, static_cast<std::size_t>(got));
    }
    close(ends[0]);
    return error == 0 && waited_for(child) == 0;
}

bool make_folders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat status {};
        if (mkdir(folder.c_str(), 0777) != 0 && !(errno == EEXIST && stat(folder.c_str(), &status) == 0 &&
                                                  S_ISDIR(status.st_mode))) {
            errno = errno == EEXIST ? ENOTDIR : errno;
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

int create_new_file(const std::string& folder, const std::string& stem, std::string& path)
{
    path = folder + "/." + stem + ".etal-XXXXXX";
    const int file = mkstemp(path.data());
    if (file < 0)
        return -1;
    fcntl(file, F_SETFD, FD_CLOEXEC);
    // Not only etal's user's, as mkstemp makes it: as any new file is.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file, 0666 & ~mask);
    return file;
}

bool rename_over(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

void remove_file(const std::string& path) { unlink(path.c_str()); }

std::vector<std::string> command_line_arguments(int argc, char** argv) { return {argv, argv + argc}; }

int open_input(const std::string& path)
{
    return path == standard_stream ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int open_output(const std::string& path)
{
    make_file_size_limit_an_error();
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

void start_writeback(int file, unsigned long long offset, unsigned long long length)
{
#if defined(__linux__)
    // A failure only leaves the writing to the fsync that follows.
    (void)sync_file_range(file, static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)file, (void)offset, (void)length;
#endif
}

bool rewind_file(int file) { return lseek(file, 0, SEEK_SET) == 0; }

bool close_file(int file) { return close(file) == 0; }

std::string error_text(int error) { return std::strerror(error); }

void write_error(std::string_view text) { (void)!write(STDERR_FILENO, text.data(), text.size()); }

bool write_output(std::string_view text) { return write_all(STDOUT_FILENO, text); }

in_place_file::~in_place_file()
{
    remove_replacement();
    if (input_ >= 0)
        close(input_);
}

void in_place_file::remove_replacement()
{
    if (output_ >= 0)
        close(output_);
    output_ = -1;
    if (temporary_.empty())
        return;
    const removal_signals_held held;
    unlink(temporary_.c_str());
    pending_temporary = nullptr;
    temporary_.clear();
}

bool in_place_file::open(const std::string& path)
{
    // Without waiting for a writer, should it be a FIFO.
    input_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (input_ < 0 || fstat(input_, &status) != 0)
        return fail({}, errno);
    if (!S_ISREG(status.st_mode))
        return fail("not a regular file", 0);
    if (status.st_nlink > 1)
        return fail("has " + std::to_string(status.st_nlink) + " hard links, which a rewrite in place would split", 0);
    const std::unique_ptr<char, decltype(&std::free)> target(realpath(path.c_str(), nullptr), &std::free);
    if (!target)
        return fail({}, errno);
    target_ = target.get();
    opened_ = stamp_of(status);
    mode_ = status.st_mode & 07777U;
    owner_ = status.st_uid;
    group_ = status.st_gid;
    return true;
}

bool in_place_file::create_replacement()
{
    make_file_size_limit_an_error();
    remove_temporary_on_signals();
    const std::size_t slash = target_.rfind('/');
    std::string name = target_.substr(0, slash + 1) + "." + target_.substr(slash + 1) + ".etal-XXXXXX";
    {
        const removal_signals_held held;
        output_ = mkstemp(name.data());  // mode 0600, and made here, not found
        if (output_ < 0)
            return fail("cannot create a temporary file beside it", errno);
        temporary_ = std::move(name);
        pending_temporary = temporary_.c_str();
    }
    fcntl(output_, F_SETFD, FD_CLOEXEC);
    struct stat made {};
    if (fstat(output_, &made) != 0 ||
        ((made.st_uid != owner_ || made.st_gid != group_) &&
         fchown(output_, static_cast<uid_t>(owner_), static_cast<gid_t>(group_)) != 0)) {
        const int error = errno;
        remove_replacement();
        return fail("cannot give a new file its owner and group", error);
    }
    // Before its permissions, which then set the ACL's mask as the file's has it.
    std::string attribute;
    if (!copy_attributes(input_, output_, attribute)) {
        const int error = errno;
        remove_replacement();
        return fail(attribute_failure(attribute), error);
    }
    return true;
}

bool in_place_file::unchanged() const
{
    struct stat now {};
    return stat(target_.c_str(), &now) == 0 && stamp_of(now) == opened_;
}

bool in_place_file::replace()
{
    const auto give_up = [this](std::string_view what) {
        const int error = errno;
        remove_replacement();
        return fail(what, error);
    };
    if (fchmod(output_, static_cast<mode_t>(mode_)) != 0)
        return give_up("cannot give the new file its permissions");
    if (fsync(output_) != 0)
        return give_up({});
    const int closed = close(output_);
    output_ = -1;
    if (closed != 0)
        return give_up({});
    if (!unchanged()) {
        remove_replacement();
        return fail("changed while being shortened; left as it is", 0);
    }
    {
        const removal_signals_held held;
        if (rename(temporary_.c_str(), target_.c_str()) != 0)
            return give_up("cannot put the new file in its place");
        pending_temporary = nullptr;
        temporary_.clear();
    }
    close(input_);
    input_ = -1;
    // The new name on disk too, where the directory can be opened to say so.
    const std::string directory = target_.substr(0, std::max<std::size_t>(target_.rfind('/'), 1));
    const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}
