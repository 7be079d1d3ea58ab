// A file rewritten in place, where something else goes wrong for it: another
// program writes to it meanwhile, or on Windows the replace fails half-way,
// as on some network shares. The file then keeps what it holds, and no file
// of etal's is left beside it.

#include "files.h"
#include "run_etal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

namespace {

// Nothing but `name` is left in `dir`.
void expect_only(const temp_dir& dir, const std::string& name)
{
    for (const auto& entry : std::filesystem::directory_iterator(dir / ""))
        EXPECT_EQ(entry.path().filename().u8string(), name) << "left behind";
}

// Between etal's reading a file and its new text taking the file's place,
// another program (a reference manager's export, a sync client) writes to
// it: it keeps what that program left.
TEST(ReplaceInPlace, LeavesAFileChangedWhileBeingShortened)
{
    namespace fs = std::filesystem;
    const std::string late = "@article{late,\n  author = {Late, A.},\n}\n";
    const struct {
        const char* what;
        std::function<void(const fs::path&)> change;
        std::string left;  // in the file after; "new\n" when replaced
    } rows[] = {
        {"nothing: replaced", [](const fs::path&) {}, "new\n"},
        {"an append", [&late](const fs::path& file) { std::ofstream(file, std::ios::binary | std::ios::app) << late; },
         "old\n" + late},
        {"a rewrite of the same size within the same second", [](const fs::path& file) {
             const auto time = fs::last_write_time(file);
             std::ofstream(file, std::ios::binary) << "odd\n";
             fs::last_write_time(file, time);
         }, "odd\n"},
#ifndef _WIN32  // Windows renames nothing over a file open for reading
        {"a rename of another file over it", [](const fs::path& file) {
             std::ofstream(file.string() + ".new", std::ios::binary) << "other\n";
             fs::rename(file.string() + ".new", file);
         }, "other\n"},
#endif
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        temp_dir dir;
        dir.write("a.bib", "old\n");
        {
            in_place_file file;
            ASSERT_TRUE(file.open((dir / "a.bib").u8string())) << file.failure();
            char bytes[16];
            while (read_bytes(file.input(), bytes, sizeof bytes) > 0) {
            }
            ASSERT_TRUE(file.create_replacement()) << file.failure();
            ASSERT_TRUE(write_all(file.output(), "new\n"));
            r.change(dir / "a.bib");
            const bool replaced = r.left == "new\n";
            EXPECT_EQ(file.replace(), replaced);
            EXPECT_EQ(file.failure(), replaced ? "" : "changed while being shortened; left as it is");
        }
        EXPECT_EQ(dir.read("a.bib"), r.left);
        expect_only(dir, "a.bib");
    }
}

#ifdef _WIN32

unsigned long failing_code = 0;
bool moves_the_file_aside = false;

// Leaves the files as the code says it leaves them when a backup is named.
unsigned long failing_replace(const wchar_t* replaced, const wchar_t* /*replacement*/, const wchar_t* backup)
{
    if (moves_the_file_aside)
        MoveFileW(replaced, backup);
    return failing_code;
}

TEST(ReplaceInPlace, KeepsTheFileWhenTheReplaceFails)
{
    const struct {
        unsigned long code;
        bool moved_aside;
        int reason;  // the errno value told
    } rows[] = {
        // the file could not be deleted, or the new one not renamed: both keep their names
        {ERROR_UNABLE_TO_REMOVE_REPLACED, false, EIO},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, EIO},
        // the file is under the backup name, the new one under its own
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, EIO},
        // any other code: both keep their names
        {ERROR_ACCESS_DENIED, false, EACCES},
        {ERROR_SHARING_VIOLATION, false, EBUSY},
        {ERROR_INVALID_PARAMETER, false, EIO},
    };
    const replace_file_function real = replace_file_call;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        temp_dir dir;
        dir.write("a.bib", "old\n");
        {
            in_place_file file;
            ASSERT_TRUE(file.open((dir / "a.bib").u8string())) << file.failure();
            ASSERT_TRUE(file.create_replacement()) << file.failure();
            ASSERT_TRUE(write_all(file.output(), "new\n"));
            failing_code = r.code;
            moves_the_file_aside = r.moved_aside;
            replace_file_call = failing_replace;
            EXPECT_FALSE(file.replace());
            replace_file_call = real;
            EXPECT_EQ(file.failure(), "cannot put the new file in its place: " + error_text(r.reason));
        }
        EXPECT_EQ(dir.read("a.bib"), "old\n");
        expect_only(dir, "a.bib");
    }
}
#endif

}  // namespace
