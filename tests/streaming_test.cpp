// etal as a stage of a pipeline: each line must reach OUTPUT before the next
// one is read, and a run stopped at any moment leaves only whole lines.

#include "run_etal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Waits until `name` in `dir` holds `expected`; false after ten seconds.
bool wait_for_content(const temp_dir& dir, const std::string& name, const std::string& expected)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < give_up) {
        if (dir.read(name).value_or("") == expected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

const std::vector<std::pair<std::string, std::string>> lines = {
    // input line, output line at count 2
    {"@article{x,\n", "@article{x,\n"},
    {"  author = {A and B and C},\n", "  author = {A and B and others },\n"},
    {"  author = \"A and B and C and D\",\r\n", "  author = \"A and B and others\",\r\n"},
    {"  title = {T},\n", "  title = {T},\n"},
    {"}\n", "}\n"},
};

// etal at count 2 reading a FIFO that the test writes to.
struct fed_etal {
    temp_dir dir;
    started_etal started;
    int feed = -1;  // write end of the FIFO etal reads

    fed_etal()
    {
        const std::string fifo = dir.path + "/in.fifo";
        mkfifo(fifo.c_str(), 0600);
        started = start_etal(dir.path, {"2", "in.fifo", "out.bib"});
        feed = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // waits for etal to open it
    }

    void send(const std::string& bytes) const { (void)!write(feed, bytes.data(), bytes.size()); }

    // Sends `lines` one at a time, each only once the one before is in the
    // output; returns the whole output expected.
    std::string send_lines_in_step() const
    {
        std::string expected;
        for (const auto& [input, output] : lines) {
            send(input);
            expected += output;
            EXPECT_TRUE(wait_for_content(dir, "out.bib", expected)) << "waiting for " << output;
        }
        return expected;
    }
};

TEST(Streaming, EachLineReachesTheOutputBeforeTheNextIsRead)
{
    const fed_etal etal;
    ASSERT_GE(etal.feed, 0);
    etal.send_lines_in_step();
    close(etal.feed);
    const run_result result = finish_etal(etal.started);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.error, "");
}

TEST(Streaming, AKilledRunLeavesTheWholeLinesWrittenSoFar)
{
    const fed_etal etal;
    ASSERT_GE(etal.feed, 0);
    const std::string expected = etal.send_lines_in_step();
    // Half a line, and a long one: none of it may show.
    etal.send("  author = {A and B and C and " + std::string(1 << 20, 'x'));
    kill(etal.started.pid, SIGKILL);
    const run_result result = finish_etal(etal.started);
    close(etal.feed);
    EXPECT_EQ(result.status, 128 + SIGKILL);
    EXPECT_EQ(etal.dir.read("out.bib"), expected);
}

// A file rewritten in place is whole, old or new, whenever etal is stopped:
// each signal that stops it midway removes the temporary file, and etal
// dies of it all the same.
TEST(Streaming, AnInPlaceRunStoppedMidwayLeavesTheFileAsItWas)
{
    std::string text;
    while (text.size() < (std::size_t{32} << 20))
        text += "@a{K,\n  author = {A and B and C and D},\n  title = {T},\n}\n";
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        temp_dir dir;
        dir.write("a.bib", text);
        const started_etal etal = start_etal(dir.path, {"-i", "2", "a.bib"});
        bool seen = false;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!seen && std::chrono::steady_clock::now() < give_up)
            for (const auto& entry : std::filesystem::directory_iterator(dir.path))
                seen = seen || entry.path().filename().string().find(".etal-") != std::string::npos;
        ASSERT_TRUE(seen) << "no temporary file";
        kill(etal.pid, signal_number);
        const run_result result = finish_etal(etal);
        EXPECT_EQ(result.status, 128 + signal_number);
        EXPECT_EQ(result.error, "");
        EXPECT_TRUE(dir.read("a.bib") == text);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1) << "a temporary file is left";
    }
}

// `etal 2 - -` between two pipes: each line comes out of standard output
// before the next goes in, and a list wrapped over lines comes out cut, or
// mended, once it closes.
TEST(Streaming, LinesStreamFromStandardInputToStandardOutput)
{
    int in[2];
    int out[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    temp_dir dir;
    const started_etal started = start_etal(dir.path, {"2", "-", "-"}, in[0], out[1]);
    close(in[0]);
    close(out[1]);
    std::vector<std::pair<std::string, std::string>> steps = lines;
    steps.emplace_back("  author = {A and\n", "  author = {A and\n");
    steps.emplace_back("    B and\n", "    B and\n");
    steps.emplace_back("    C and\n", "");  // the cut line waits for the close
    steps.emplace_back("    D},\n", "    others },\n");
    // a last name that may be "et al." waits for the line that settles it
    steps.emplace_back("  author = {A and Et\n", "");
    steps.emplace_back("    Jones and\n", "  author = {A and Et\n    Jones and\n");
    steps.emplace_back("    B},\n", "    others },\n");
    steps.emplace_back("  author = {A and et\n", "");
    steps.emplace_back("    al.},\n", "  author = {A and others},\n");
    for (const auto& [input, output] : steps) {
        ASSERT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        std::string got(output.size(), '\0');
        std::size_t have = 0;
        while (have < got.size()) {
            const ssize_t n = read(out[0], got.data() + have, got.size() - have);
            ASSERT_GT(n, 0) << "waiting for " << output;
            have += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(got, output);
    }
    close(in[1]);
    char rest = 0;
    EXPECT_EQ(read(out[0], &rest, 1), 0);  // nothing more once the input ends
    close(out[0]);
    const run_result result = finish_etal(started);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.error, "");
}

}  // namespace
