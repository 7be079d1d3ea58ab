// Stands in, in a test, for another program that writes to a file while
// `etal -i` works on it: preloaded into etal, it runs the shell command in
// ETAL_TEST_ON_FSYNC once, when etal first flushes a file to disk, that is
// when a file's new text is whole and has yet to take its place.
#include <dlfcn.h>

#include <cstdlib>

extern "C" int fsync(int file)
{
    using fsync_call = int (*)(int);
    static const auto real = reinterpret_cast<fsync_call>(dlsym(RTLD_NEXT, "fsync"));
    const int result = real(file);
    static bool done = false;
    const char* const command = std::getenv("ETAL_TEST_ON_FSYNC");
    if (command != nullptr && !done) {
        done = true;
        (void)!std::system(command);
    }
    return result;
}
