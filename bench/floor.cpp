// The floor of a per-line filter that flushes every line: read large
// blocks, write each line with one write(2), do nothing else.
// usage: floor INPUT OUTPUT
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int input = open(argv[1], O_RDONLY);
    const int output = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (input < 0 || output < 0)
        return 1;
    static char block[256 * 1024];
    std::string line;  // only a line that spans two blocks is copied here
    for (ssize_t got; (got = read(input, block, sizeof block)) > 0;) {
        const char* next = block;
        const char* const end = block + got;
        while (const void* found = std::memchr(next, '\n', static_cast<std::size_t>(end - next))) {
            const char* const stop = static_cast<const char*>(found) + 1;
            if (line.empty()) {
                if (write(output, next, static_cast<std::size_t>(stop - next)) < 0)
                    return 1;
            } else {
                line.append(next, stop);
                if (write(output, line.data(), line.size()) < 0)
                    return 1;
                line.clear();
            }
            next = stop;
        }
        line.append(next, end);
    }
    if (!line.empty()) {
        line.push_back('\n');
        if (write(output, line.data(), line.size()) < 0)
            return 1;
    }
    return close(output) == 0 ? 0 : 1;
}
