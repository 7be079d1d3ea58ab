// Files on Windows: the C runtime's descriptors in binary mode, wide names,
// and the file identity of an open handle in place of device and inode.

#include "files.h"

#include <algorithm>
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

}  // namespace

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
