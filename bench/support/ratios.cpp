#include "support/ratios.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace bench {

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

class KeepingReporter : public benchmark::ConsoleReporter
{
public:
    explicit KeepingReporter(Results &results)
        : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular), m_results(results)
    {
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        // The repetitions are kept here; the console shows their mean,
        // median and spread, and any error.
        std::vector<Run> shown;
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1 || run.error_occurred)
                shown.push_back(run);
        if (!shown.empty())
            ConsoleReporter::ReportRuns(shown);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0)
                continue;
            Results::Sample sample{run.run_name.function_name,
                                   run.real_accumulated_time / double(run.iterations), {}};
            for (const auto &[name, counter] : run.counters)
                sample.counters.emplace_back(name, counter.value);
            m_results.samples.push_back(std::move(sample));
        }
    }

private:
    Results &m_results;
};

bool hasFlag(int argc, char **argv, const char *flag)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0)
            return true;
    return false;
}

void printLine(const std::string &name, double value, const std::optional<double> &goal)
{
    if (std::isnan(value)) {
        std::printf("ratio %s n/a (a benchmark did not run)\n", name.c_str());
    } else if (goal) {
        std::printf("ratio %s %.2f goal <= %g\n", name.c_str(), value, *goal);
    } else {
        std::printf("ratio %s %.2f (for reference, no goal)\n", name.c_str(), value);
    }
}

} // namespace

double Results::medianSeconds(const std::string &benchmark) const
{
    std::vector<double> values;
    for (const Sample &sample : samples)
        if (sample.benchmark == benchmark)
            values.push_back(sample.seconds);
    return median(values);
}

double Results::medianCounter(const std::string &benchmark, const std::string &counter) const
{
    std::vector<double> values;
    for (const Sample &sample : samples)
        if (sample.benchmark == benchmark)
            for (const auto &[name, value] : sample.counters)
                if (name == counter)
                    values.push_back(value);
    return median(values);
}

Results runBenchmarks(int *argc, char **argv, int repetitions)
{
    // Defaults first, so that the command line can still override them.
    std::vector<std::string> defaults;
    if (!hasFlag(*argc, argv, "--benchmark_repetitions"))
        defaults.push_back("--benchmark_repetitions=" + std::to_string(repetitions));
    if (!hasFlag(*argc, argv, "--benchmark_enable_random_interleaving"))
        defaults.push_back("--benchmark_enable_random_interleaving=true");
    std::vector<char *> arguments(argv, argv + *argc);
    for (std::string &flag : defaults)
        arguments.insert(arguments.begin() + 1, flag.data());
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        std::exit(1);

    Results results;
    KeepingReporter reporter(results);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return results;
}

void printRatios(const Results &results, const std::vector<Comparison> &comparisons)
{
    for (const Comparison &comparison : comparisons) {
        const double numerator = results.medianSeconds(comparison.numerator);
        const double denominator = results.medianSeconds(comparison.denominator);
        const double value = denominator > 0 ? numerator / denominator : std::nan("");
        printLine(comparison.name, value, comparison.goal);
    }
}

void printFigure(const Figure &figure)
{
    printLine(figure.name, figure.value, figure.goal);
}

} // namespace bench
