// Files on Windows: the C runtime's descriptors in binary mode, wide names,
// the file identity of an open handle in place of device and inode, and
// ReplaceFileW to put a rewritten file in place.

#include "files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX  // std::min, not the macro
#endif
#include <windows.h>

#include <shellapi.h>

namespace {

constexpr int standard_input = 0;
constexpr int standard_output = 1;

std::wstring wide(std::string_view utf8)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string utf8(std::wstring_view wide)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

// A standard stream in binary mode: text mode would turn LF into CRLF and
// end the input at a 0x1A.
int binary(int stream)
{
    _setmode(stream, _O_BINARY);
    return stream;
}

// Windows refuses to open a folder as a file with "access denied": say what
// it is, as POSIX systems do.
int opened(int file, const std::wstring& path)
{
    if (file < 0 && errno == EACCES) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            errno = EISDIR;
    }
    return file;
}

// What stands for device and inode: the volume and the file's id. A volume
// of 0 is one that could not be read: Wine gives no volume for a standard
// stream inherited from a Linux shell, but the right id.
struct file_identity {
    unsigned long long volume = 0;
    unsigned char id[16] = {};
};

// The identity of a file on disk; false for a pipe, a console, or a handle
// that tells nothing.
bool identify(HANDLE file, file_identity& identity)
{
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK)
        return false;
    FILE_ID_INFO id_info{};
    if (GetFileInformationByHandleEx(file, FileIdInfo, &id_info, sizeof id_info)) {
        identity.volume = id_info.VolumeSerialNumber;
        std::memcpy(identity.id, id_info.FileId.Identifier, sizeof identity.id);
        return true;
    }
    // Before Windows 8, and on some file systems: a 64-bit index, which is
    // also the low half of the 128-bit id where both exist.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    const unsigned long long index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    std::memcpy(identity.id, &index, sizeof index);
    return true;
}

// Which file `file` is, how long, and when its bytes and its status last
// changed (in 100 ns ticks); false where it tells nothing.
bool stamp_of(HANDLE file, file_stamp& stamp)
{
    file_identity identity;
    FILE_BASIC_INFO times{};
    FILE_STANDARD_INFO standard{};
    if (!identify(file, identity) || !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))
        return false;
    stamp.device = identity.volume;
    std::memcpy(stamp.id, identity.id, sizeof stamp.id);
    stamp.size = static_cast<unsigned long long>(standard.EndOfFile.QuadPart);
    stamp.modified = static_cast<unsigned long long>(times.LastWriteTime.QuadPart);
    stamp.changed = static_cast<unsigned long long>(times.ChangeTime.QuadPart);
    return true;
}

// The errno value closest to a system error code, for messages alike on
// every system.
int errno_of(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// The temporary file that Ctrl-C, Ctrl-Break or a closed console removes,
// while there is one. The handler runs on a thread of its own.
wchar_t pending_temporary[32768];
std::atomic<bool> temporary_pending{false};

BOOL WINAPI remove_pending_temporary(DWORD /*event*/)
{
    if (temporary_pending.load())
        DeleteFileW(pending_temporary);  // opened for deletion by others: gone once etal's handle closes
    return FALSE;  // then the default handler ends the process
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// An argument as the C runtime of the program started reads it back
// (CommandLineToArgvW's rules): quoted where it holds a blank or a quote,
// each quote and the backslashes before it escaped.
std::wstring quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring text = L"\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        for (; i < argument.size() && argument[i] == L'\\'; ++i)
            ++backslashes;
        if (i == argument.size()) {
            text.append(backslashes * 2, L'\\');
            break;
        }
        text.append(argument[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        text.push_back(argument[i]);
    }
    return text.append(L"\"");
}

// Starts `command` (sought as CreateProcessW seeks it: beside etal, in the
// current folder, the system's folders, then PATH) with `startup`'s streams:
// the process, or null with errno set.
HANDLE started(const std::vector<std::string>& command, STARTUPINFOW& startup, bool pass_streams)
{
    std::wstring line;
    for (const std::string& argument : command)
        line.append(line.empty() ? L"" : L" ").append(quoted(wide(argument)));
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, pass_streams ? TRUE : FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        errno = errno_of(GetLastError());
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Waits for `process` to end: its exit code.
int waited_for(HANDLE process)
{
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code & 0xFF);
}

}  // namespace

bool environment_value(const char* name, std::string& value)
{
    const wchar_t* const found = _wgetenv(wide(name).c_str());
    if (found == nullptr)
        return false;
    value = utf8(found);
    return true;
}

const char search_path_separator = ';';

int run_command(const std::vector<std::string>& command, const std::string& variable, const std::string& value)
{
    // Set in etal's own environment, which the command inherits: etal ends
    // when it does.
    if (!variable.empty())
        SetEnvironmentVariableW(wide(variable).c_str(), wide(value).c_str());
    STARTUPINFOW startup{};
    const HANDLE process = started(command, startup, false);
    return process == nullptr ? -1 : waited_for(process);
}

bool command_output(const std::vector<std::string>& command, std::string& output)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherited, 0))
        return false;
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                       OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writing;
    startup.hStdError = nowhere;
    const HANDLE process = started(command, startup, true);
    CloseHandle(writing);
    if (nowhere != INVALID_HANDLE_VALUE)
        CloseHandle(nowhere);
    output.clear();
    char block[4096];
    DWORD got = 0;
    while (process != nullptr && ReadFile(reading, block, sizeof block, &got, nullptr) && got > 0)
        output.append(block, got);
    CloseHandle(reading);
    return process != nullptr && waited_for(process) == 0;
}

bool make_folders(const std::string& path)
{
    for (std::size_t slash = path.find_first_of("/\\", 1);; slash = path.find_first_of("/\\", slash + 1)) {
        const std::wstring folder = wide(path.substr(0, slash));
        // A drive alone ("C:") is there already.
        if (!(folder.size() == 2 && folder[1] == L':') && !CreateDirectoryW(folder.c_str(), nullptr)) {
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (error != ERROR_ALREADY_EXISTS) {
                errno = errno_of(error);
                return false;
            }
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                errno = ENOTDIR;
                return false;
            }
        }
        if (slash == std::string::npos)
            return true;
    }
}

int create_new_file(const std::string& folder, const std::string& stem, std::string& path)
{
    const std::string start = folder + "\\." + stem + ".etal-" + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        path = start + std::to_string(GetTickCount() + attempt);
        const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            errno = errno_of(error);
            return -1;
        }
        const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
        if (descriptor < 0)
            CloseHandle(file);
        return descriptor;
    }
    errno = EEXIST;
    return -1;
}

bool rename_over(const std::string& from, const std::string& to)
{
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = errno_of(GetLastError());
    return false;
}

void remove_file(const std::string& path) { DeleteFileW(wide(path).c_str()); }

replace_file_function replace_file_call = [](const wchar_t* replaced, const wchar_t* replacement,
                                             const wchar_t* backup) -> unsigned long {
    return ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ? 0
                                                                                                          : GetLastError();
};

std::vector<std::string> command_line_arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* const wide_arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide_arguments == nullptr)
        return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(utf8(wide_arguments[i]));
    LocalFree(wide_arguments);
    return arguments;
}

int open_input(const std::string& path)
{
    if (path == standard_stream)
        return binary(standard_input);
    const std::wstring name = wide(path);
    return opened(_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT), name);
}

int open_output(const std::string& path)
{
    if (path == standard_stream)
        return binary(standard_output);
    const std::wstring name = wide(path);
    return opened(_wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE),
                  name);
}

int input_error(int input)
{
    struct _stat64 status {};
    if (_fstat64(input, &status) != 0)
        return errno;
    return (status.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : 0;
}

// Where either volume is unknown, the ids alone decide: refusing a run is
// the safe side.
bool is_same_file(int input, const std::string& output_path)
{
    file_identity in;
    if (!identify(reinterpret_cast<HANDLE>(_get_osfhandle(input)), in))
        return false;
    file_identity out;
    if (output_path == standard_stream) {
        if (!identify(reinterpret_cast<HANDLE>(_get_osfhandle(standard_output)), out))
            return false;
    } else {
        // Opened for no access at all: only to learn what it is.
        const HANDLE file = CreateFileW(wide(output_path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const bool known = identify(file, out);
        CloseHandle(file);
        if (!known)
            return false;
    }
    // The 32-bit serial of the older call is the low half of the newer one's.
    const bool same_volume =
        in.volume == 0 || out.volume == 0 || static_cast<DWORD>(in.volume) == static_cast<DWORD>(out.volume);
    return same_volume && std::memcmp(in.id, out.id, sizeof in.id) == 0;
}

std::ptrdiff_t read_bytes(int input, char* data, std::size_t size)
{
    return _read(input, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

bool write_all(int output, std::string_view text)
{
    while (!text.empty()) {
        const int written = _write(output, text.data(), static_cast<unsigned>(std::min<std::size_t>(text.size(), INT_MAX)));
        if (written < 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Windows writes a file's cached bytes out on its own, and has no call that
// starts it without waiting.
void start_writeback(int /*file*/, unsigned long long /*offset*/, unsigned long long /*length*/) {}

bool rewind_file(int file) { return _lseeki64(file, 0, SEEK_SET) == 0; }

bool close_file(int file) { return _close(file) == 0; }

std::string error_text(int error) { return std::strerror(error); }

// A console shows UTF-8 bytes in its own code page: it is given the text
// as UTF-16 instead. Anything else, a file or a pipe, gets the UTF-8 bytes.
void write_error(std::string_view text)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(error, &mode)) {
        const std::wstring message = wide(text);
        WriteConsoleW(error, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
    } else {
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

bool write_output(std::string_view text) { return write_all(binary(standard_output), text); }


in_place_file::~in_place_file()
{
    remove_replacement();
    if (input_ >= 0)
        _close(input_);
}

void in_place_file::remove_replacement()
{
    if (output_ >= 0)
        _close(output_);
    output_ = -1;
    if (temporary_.empty())
        return;
    temporary_pending = false;
    DeleteFileW(wide(temporary_).c_str());
    temporary_.clear();
}

bool in_place_file::open(const std::string& path)
{
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return fail("not a regular file", 0);
    input_ = opened(_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT), name);
    if (input_ < 0)
        return fail({}, errno);
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(input_));
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return fail("not a regular file", 0);
    if (info.nNumberOfLinks > 1)
        return fail("has " + std::to_string(info.nNumberOfLinks) + " hard links, which a rewrite in place would split", 0);
    // Replacing it would clear the attribute, which is there to prevent just that.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        return fail("read-only file", 0);
    if (!stamp_of(file, opened_))
        return fail("not a regular file", 0);
    // What a symbolic link names is what is replaced.
    std::wstring target(MAX_PATH, L'\0');
    DWORD size = GetFinalPathNameByHandleW(file, target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
    if (size >= target.size()) {
        target.resize(size);
        size = GetFinalPathNameByHandleW(file, target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
    }
    target_ = size > 0 && size < target.size() ? utf8(std::wstring_view(target.data(), size)) : path;
    return true;
}

bool in_place_file::create_replacement()
{
    static const bool handled = SetConsoleCtrlHandler(remove_pending_temporary, TRUE) != 0;
    (void)handled;
    const std::size_t slash = target_.find_last_of("\\/");
    const std::string start = target_.substr(0, slash + 1) + "." + target_.substr(slash + 1) + ".etal-" +
                              std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string name = start + std::to_string(GetTickCount() + attempt);
        const std::wstring wide_name = wide(name);
        // Others may delete it (as the console handler does), but not read it.
        const HANDLE file = CreateFileW(wide_name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            return fail("cannot create a temporary file beside it", errno_of(error));
        }
        output_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
        if (output_ < 0) {
            CloseHandle(file);
            DeleteFileW(wide_name.c_str());
            return fail("cannot create a temporary file beside it", errno);
        }
        temporary_ = std::move(name);
        wcsncpy(pending_temporary, wide_name.c_str(), std::size(pending_temporary) - 1);
        temporary_pending = true;
        return true;
    }
    return fail("cannot create a temporary file beside it", EEXIST);
}

bool in_place_file::unchanged() const
{
    // Opened only to be looked at: others may go on reading, writing or
    // renaming it meanwhile.
    const HANDLE file = CreateFileW(wide(target_).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    file_stamp now;
    const bool known = stamp_of(file, now);
    CloseHandle(file);
    return known && now == opened_;
}

bool in_place_file::replace()
{
    const auto give_up = [this](std::string_view what, int error) {
        remove_replacement();
        return fail(what, error);
    };
    if (!FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(output_))))
        return give_up({}, errno_of(GetLastError()));
    const int closed = _close(output_);
    output_ = -1;
    if (closed != 0)
        return give_up({}, errno);
    // ReplaceFileW moves the file it replaces aside: no handle may hold it.
    _close(input_);
    input_ = -1;
    if (!unchanged())
        return give_up("changed while being shortened; left as it is", 0);
    // It keeps the replaced file's attributes, security and creation time.
    // Without a backup name of etal's own, a replace that fails half-way
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, on some network shares) leaves
    // the file under a name of the system's choosing, and none in its place.
    const std::wstring target = wide(target_);
    const std::string backup_name = temporary_ + "-old";
    const std::wstring backup = wide(backup_name);
    const unsigned long error = replace_file_call(target.c_str(), wide(temporary_).c_str(), backup.c_str());
    if (error != 0) {
        // Where the file has moved aside, it goes back first: its path ends
        // holding the old bytes, whatever the code said.
        if (!exists(target) && exists(backup) && !MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const int restore_error = errno_of(GetLastError());
            remove_replacement();
            return fail("cannot put the new file in its place, nor the file back: it is now " + backup_name,
                        restore_error);
        }
        return give_up("cannot put the new file in its place", errno_of(error));
    }
    temporary_pending = false;
    temporary_.clear();
    DeleteFileW(backup.c_str());
    return true;
}
