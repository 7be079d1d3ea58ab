// A file rewritten in place on Windows, when the replace fails half-way as
// on some network shares: whatever the code, the file keeps its bytes and
// no file of etal's is left beside it.

#include "files.h"
#include "run_etal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace {

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
        for (const auto& entry : std::filesystem::directory_iterator(dir / ""))
            EXPECT_EQ(entry.path().filename().u8string(), "a.bib") << "left behind";
    }
}

}  // namespace
