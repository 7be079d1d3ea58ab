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
/// descriptor, or -1.
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
