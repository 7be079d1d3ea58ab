// Micro-benchmarks of the rule on the lines it meets most and on the worst.
#include "author_list.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string names(int count)
{
    std::string list = "Lee, A.";
    for (int i = 1; i < count; ++i)
        list += " and Ruiz, B.";
    return list;
}

void run(benchmark::State& state, const std::string& line, std::int32_t limit)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(rewrite_author_line(line, limit));
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

}  // namespace

BENCHMARK(short_line_without_keyword);
BENCHMARK(typical_author_line);
BENCHMARK(author_line_of_200_names);
BENCHMARK(megabyte_line_at_largest_limit);
BENCHMARK_MAIN();
