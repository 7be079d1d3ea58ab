// Files, the standard streams and the arguments: all that differs between
// systems. The POSIX half (files_posix.cpp) serves Linux and macOS, the
// Windows half (files_windows.cpp) Windows; on both, bytes are read and
// written as they are (no line-end translation, 0x1A a byte like any
// other), names are UTF-8, and failures leave errno set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// "-" as INPUT is standard input, as OUTPUT standard output; "./-" is a file.
inline constexpr std::string_view standard_stream = "-";

/// The arguments in UTF-8. On Windows they are taken as the user typed them,
/// whatever the code page, so that a name in any script opens.
std::vector<std::string> command_line_arguments(int argc, char** argv);

/// Opens INPUT for reading, or standard input for "-": a descriptor, or -1.
int open_input(const std::string& path);

/// Creates or truncates OUTPUT, or takes standard output for "-": a
/// descriptor, or -1. From then on a file-size limit makes a write fail
/// (EFBIG) rather than end the process.
int open_output(const std::string& path);

/// An errno value when the open input is no file to read (a directory), else 0.
int input_error(int input);

/// Whether `input` is a regular file that OUTPUT names too, under any name
/// or through "-". Asked before OUTPUT is opened, which would truncate it.
bool is_same_file(int input, const std::string& output_path);

/// Up to `size` bytes: how many were read, 0 at the end, -1 on failure.
std::ptrdiff_t read_bytes(int input, char* data, std::size_t size);

/// Writes all of `text`: a file or a pipe takes it in one call.
bool write_all(int output, std::string_view text);

/// Has the system start putting on disk the `length` bytes of `file` from
/// `offset`, just written, and returns at once: a file made durable later
/// then waits for less. A hint, taken on Linux; elsewhere nothing is done.
void start_writeback(int file, unsigned long long offset, unsigned long long length);

/// Goes back to the start of a file opened to be read.
bool rewind_file(int file);

/// Closes; a failed close can be the first news of a failed write (NFS,
/// quotas), on standard output too.
bool close_file(int file);

/// The system's reason for the errno value `error`, in UTF-8.
std::string error_text(int error);

/// Writes `text` on standard error in one piece, so that other output there
/// never splits it.
void write_error(std::string_view text);

/// Writes `text` on standard output; false on failure.
bool write_output(std::string_view text);

/// The value of the environment variable `name`; false when it is not set.
bool environment_value(const char* name, std::string& value);

/// What separates the folders of a search path such as BIBINPUTS: `:`, or
/// `;` on Windows.
extern const char search_path_separator;

/// Runs `command` (its program sought on PATH, as a shell would) with the
/// environment variable `variable` set to `value` (none where `variable` is
/// empty), on etal's own standard
/// streams, and waits for it: its exit status, or 128 + N where signal N
/// ended it. -1 with errno set where it could not be started, 127 where it
/// is not found (ENOENT).
int run_command(const std::vector<std::string>& command, const std::string& variable, const std::string& value);

/// Runs `command` and reads what it writes on standard output into
/// `output`; what it writes on standard error goes nowhere. True when it
/// ran and exited with 0.
bool command_output(const std::vector<std::string>& command, std::string& output);

/// Makes the folder `path` and the folders above it that are missing;
/// false with errno set.
bool make_folders(const std::string& path);

/// Creates a new, empty file in `folder`, named `stem` and a suffix of its
/// own, to be written: its descriptor, with its path in `path`; -1 with
/// errno set.
int create_new_file(const std::string& folder, const std::string& stem, std::string& path);

/// Puts the file `from` at `to` in one step, over the file there if there
/// is one; false with errno set.
bool rename_over(const std::string& from, const std::string& to);

/// Removes the file `path`, if there is one.
void remove_file(const std::string& path);

#ifdef _WIN32
/// Puts the file `replacement` in the place of `replaced`, which moves to
/// `backup`: 0, or the system's error code, with the files where that code
/// leaves them. ReplaceFileW, unless a test puts in its place one that
/// fails half-way as on some network shares.
using replace_file_function = unsigned long (*)(const wchar_t* replaced, const wchar_t* replacement,
                                                const wchar_t* backup);
extern replace_file_function replace_file_call;
#endif

/// What shows that a file is still the one etal read: the file a path names
/// (device and inode, or volume and file id), its size, and when its bytes
/// and its status last changed, as finely as the system keeps them.
struct file_stamp {
    unsigned long long device = 0;
    unsigned long long id[2] = {};
    unsigned long long size = 0;
    unsigned long long modified = 0;
    unsigned long long changed = 0;
    bool operator==(const file_stamp& other) const
    {
        return device == other.device && id[0] == other.id[0] && id[1] == other.id[1] && size == other.size &&
               modified == other.modified && changed == other.changed;
    }
};

/// A file rewritten in place. Its new text goes to a temporary file beside
/// it, made so that no one else can read it, which takes the file's place in
/// one step once it is whole and on disk: a reader of the file sees the old
/// bytes or the new, never a mix. Until then the file is untouched, and so
/// it stays after any failure, or SIGINT, SIGTERM or SIGHUP: the temporary
/// file is removed (the process then dies of the signal). So it stays, too,
/// when another program has written to it, or put another file in its
/// place, since it was opened.
class in_place_file {
public:
    in_place_file() = default;
    in_place_file(const in_place_file&) = delete;
    in_place_file& operator=(const in_place_file&) = delete;
    /// Removes the temporary file unless it has replaced the file.
    ~in_place_file();

    /// Opens `path` to be read. Refuses what cannot be replaced whole: what
    /// is not a regular file; a file with other hard links, which would be
    /// split from it; on Windows, a read-only file. A symbolic link's target
    /// is what gets replaced. False with `failure()` set.
    bool open(const std::string& path);

    /// The file, to be read; -1 before `open`.
    int input() const { return input_; }

    /// Makes the temporary file, in the directory of the file replaced,
    /// given its owner and group. False with `failure()` set.
    bool create_replacement();

    /// The temporary file, to be written; -1 before `create_replacement`.
    int output() const { return output_; }

    /// Puts the temporary file, made durable and given the file's
    /// permissions, in the file's place, and closes both; unless the file at
    /// the path is no longer the one opened, as it was then (a few system
    /// calls before the new file takes its place, the last look). False with
    /// `failure()` set, the file untouched and the temporary file removed.
    bool replace();

    /// Why the last call failed, for "etal: FILE: reason".
    const std::string& failure() const { return failure_; }

private:
    // Says why: `what`, then the system's reason for `error` unless it is 0.
    bool fail(std::string_view what, int error)
    {
        failure_ = what;
        if (error != 0)
            failure_.append(what.empty() ? "" : ": ").append(error_text(error));
        return false;
    }
    void remove_replacement();

    // Whether the file at the path is still the one opened, as it was then.
    bool unchanged() const;

    int input_ = -1;
    int output_ = -1;
    file_stamp opened_;
    std::string target_;     // the file replaced: the one a link names
    std::string temporary_;  // while it exists
    std::string failure_;
    // What the new file is given on POSIX systems (Windows keeps them itself).
    unsigned long mode_ = 0;
    unsigned long owner_ = 0;
    unsigned long group_ = 0;
};
