// Micro-benchmarks of the rule on the lines it meets most and on the worst.
#include "author_list.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::string names(int count)
{
    std::string list = "Lee, A.";
    for (int i = 1; i < count; ++i)
        list += " and Ruiz, B.";
    return list;
}

// One filter for every line, as the program uses it.
void run(benchmark::State& state, const std::string& line, std::int32_t limit)
{
    list_filter filter(list_rule{limit});
    for (auto _ : state)
        benchmark::DoNotOptimize(filter.next_line(line));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(line.size()));
}

void short_line_without_keyword(benchmark::State& state) { run(state, "  year = {2021},", 6); }
void typical_author_line(benchmark::State& state) { run(state, "  author = {" + names(4) + "},", 6); }
void author_line_of_200_names(benchmark::State& state) { run(state, "  author = {" + names(200) + "},", 6); }
// The scan never stops early at the largest limit: every separator is found.
void megabyte_line_at_largest_limit(benchmark::State& state)
{
    run(state, "  author = {" + names(1 << 16) + "},", 2147483647);
}

// A 20-name list as dblp writes it, one name a line, cut at 6: every line
// of the value goes through the rule, and the cut ones are held.
void list_of_20_names_one_a_line(benchmark::State& state)
{
    std::vector<std::string> lines = {"  author    = {Lee, A. and"};
    for (int i = 1; i < 19; ++i)
        lines.push_back("               Ruiz, B. and");
    lines.push_back("               Park, D.},");
    list_filter filter(list_rule{6});
    for (auto _ : state)
        for (const std::string& line : lines)
            benchmark::DoNotOptimize(filter.next_line(line));
}

}  // namespace

BENCHMARK(short_line_without_keyword);
BENCHMARK(typical_author_line);
BENCHMARK(author_line_of_200_names);
BENCHMARK(megabyte_line_at_largest_limit);
BENCHMARK(list_of_20_names_one_a_line);
BENCHMARK_MAIN();
